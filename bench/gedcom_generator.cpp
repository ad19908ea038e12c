#include "gedcom_generator.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "framework/text.h"

namespace {

constexpr std::string_view kGiven[] = {
    "John", "Mary", "William", "Elizabeth", "Johann", "Anna", "Pierre", "Marie", "Jos\xC3\xA9", "Zo\xC3\xAB",
    "S\xC3\xB8ren", "Fran\xC3\xA7ois", "Karl", "Margaretha", "Jan", "Ingrid", "Thomas", "Sarah", "\xC3\x81lvaro",
    "Bj\xC3\xB6rn"};
constexpr std::string_view kSurname[] = {
    "Smith", "Johnson", "Brown", "Schmidt", "Andersson", "Dubois", "Rossi", "Nowak", "M\xC3\xBCller",
    "J\xC3\xB8rgensen", "G\xC3\xB3mez", "Dvo\xC5\x99\xC3\xA1k", "\xC5\x81ukasiewicz", "Taylor", "Wilson",
    "van der Berg", "O'Brien", "Fischer", "Lindqvist", "Moreau"};
constexpr std::string_view kPlace[] = {
    "Boston, Suffolk, Massachusetts, USA", "Bremen, Germany", "Lyon, Rh\xC3\xB4ne, France",
    "\xC3\x86r\xC3\xB8sk\xC3\xB8" "bing, Denmark", "M\xC3\xBCnchen, Bayern, Germany", "York, England",
    "Krak\xC3\xB3w, Poland", "Sevilla, Andaluc\xC3\xAD" "a, Spain", "Uppsala, Sweden", "Cork, Ireland"};
constexpr std::string_view kMonth[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr std::string_view kSentence[] = {
    "Emigrated with his brothers in the spring after the harvest failed.",
    "Baptised in the parish church; godparents were the miller and his wife.",
    "Census lists the household with two servants and a lodger.",
    "Worked as a cooper, later as a farmer on the family holding.",
    "The letter from her sister mentions the move to the city.",
    "Buried in the old churchyard beside her first husband.",
    "Source: parish register, entry written in a faded hand, partly illegible.",
    "Died of fever during the winter; the records give no cause.",
};
constexpr std::string_view kPropType[] = {"Farm", "House", "Land grant", "Mill"};

// xorshift64*: small, fast and the same on every machine.
class Random {
 public:
  uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 2685821657736338717ull) >> 32);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
  bool Chance(uint32_t inN) { return Below(inN) == 0; }
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<uint32_t>(N))];
  }

 private:
  uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

class Writer {
 public:
  Writer(const std::filesystem::path& path, GedcomFlavour flavour)
      : out_(path, std::ios::binary | std::ios::trunc),
        utf16_(IsUtf16(flavour)),
        ending_(flavour == GedcomFlavour::Utf8CrLf || flavour == GedcomFlavour::Utf16LeCrLf ? "\r\n" : "\n") {
    if (!out_) throw std::runtime_error("can't write " + path.string());
    if (utf16_) out_.write("\xFF\xFE", 2);
  }

  void Line(std::string_view text) {
    Text(text);
    chunk_ += ending_;
    ++contentBytes_;
  }
  // Text of a line that goes on.
  void Text(std::string_view text) {
    chunk_ += text;
    contentBytes_ += text.size();
    if (chunk_.size() >= (1u << 20)) Flush();
  }
  std::size_t ContentBytes() const { return contentBytes_; }

  void Finish(const std::filesystem::path& path) {
    Flush();
    out_.close();
    if (!out_) throw std::runtime_error("can't write " + path.string());
  }

 private:
  void Flush() {
    if (utf16_) chunk_ = fw::ConvertEncoding(chunk_, fw::Encodings::UTF16);
    out_.write(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
    chunk_.clear();
  }

  std::ofstream out_;
  bool utf16_;
  std::string_view ending_;
  std::string chunk_;
  std::size_t contentBytes_ = 0;
};

std::string Date(Random& random, int fromYear, int years) {
  return std::to_string(1 + random.Below(28)) + " " + std::string(random.Pick(kMonth)) + " " +
         std::to_string(fromYear + static_cast<int>(random.Below(static_cast<uint32_t>(years))));
}

std::string Id(char kind, std::size_t n) { return "@" + std::string(1, kind) + std::to_string(n) + "@"; }

void Event(Writer& w, Random& random, std::string_view tag, int fromYear, int years) {
  w.Line("1 " + std::string(tag));
  w.Line("2 DATE " + Date(random, fromYear, years));
  w.Line("2 PLAC " + std::string(random.Pick(kPlace)));
}

void Person(Writer& w, Random& random, std::size_t id, char sex, std::string_view surname, std::size_t family,
            bool child, int bornFrom) {
  w.Line("0 " + Id('I', id) + " INDI");
  const std::string given(random.Pick(kGiven));
  w.Line("1 NAME " + given + " /" + std::string(surname) + "/");
  w.Line("2 GIVN " + given);
  w.Line("2 SURN " + std::string(surname));
  w.Line(std::string("1 SEX ") + sex);
  Event(w, random, "BIRT", bornFrom, 30);
  if (!random.Chance(3)) Event(w, random, "DEAT", bornFrom + 40, 50);
  if (random.Chance(2)) {
    w.Line("1 NOTE " + std::string(random.Pick(kSentence)));
    // Wrapped as many programs wrap: the blank between the two parts ends
    // the line before the CONC line.
    w.Line("2 CONT " + std::string(random.Pick(kSentence)) + " ");
    w.Line("2 CONC " + std::string(random.Pick(kSentence)));
  }
  if (random.Chance(10)) {
    w.Line("1 NOTE DELETE: private, from a living relative: " + std::string(random.Pick(kSentence)));
    w.Line("2 CONT " + std::string(random.Pick(kSentence)));
  }
  if (random.Chance(20)) {
    w.Line("1 NOTE (DEL) research note: " + std::string(random.Pick(kSentence)));
    w.Line("2 CONT " + std::string(random.Pick(kSentence)));
  }
  if (random.Chance(20)) {
    w.Line("1 SSN");
    w.Line("2 DATE " + Date(random, 1936, 60));
    w.Line("2 PLAC " + std::string(random.Pick(kPlace)));
    w.Line("2 TYPE Social Security Number");
  }
  if (random.Chance(20)) {
    w.Line("1 SSN " + std::to_string(100 + random.Below(800)) + "-" + std::to_string(10 + random.Below(90)) + "-" +
           std::to_string(1000 + random.Below(9000)));
  }
  if (random.Chance(20)) {
    w.Line("1 PROP");
    w.Line("2 DATE " + Date(random, bornFrom + 20, 40));
    w.Line("2 PLAC " + std::string(random.Pick(kPlace)));
    w.Line("2 TYPE " + std::string(random.Pick(kPropType)));
  }
  w.Line(std::string(child ? "1 FAMC " : "1 FAMS ") + Id('F', family));
  w.Line("1 CHAN");
  w.Line("2 DATE " + Date(random, 2015, 10));
  w.Line("3 TIME 12:" + std::to_string(10 + random.Below(50)) + ":" + std::to_string(10 + random.Below(50)));
}

}  // namespace

void WriteTypicalGedcom(const std::filesystem::path& path, std::size_t approxBytes, GedcomFlavour flavour) {
  Writer w(path, flavour);
  Random random;
  w.Line("0 HEAD");
  w.Line("1 SOUR TAVELOCK_BENCH");
  w.Line("2 VERS 1.0");
  w.Line("1 DATE 1 JAN 2024");
  w.Line("1 GEDC");
  w.Line("2 VERS 5.5.1");
  w.Line("2 FORM LINEAGE-LINKED");
  w.Line("1 CHAR UTF-8");
  for (std::size_t family = 1; w.ContentBytes() < approxBytes; ++family) {
    const std::size_t husband = 3 * family - 2;
    const std::string_view surname = random.Pick(kSurname);
    const int bornFrom = 1700 + static_cast<int>(random.Below(200));
    Person(w, random, husband, 'M', surname, family, false, bornFrom);
    Person(w, random, husband + 1, 'F', random.Pick(kSurname), family, false, bornFrom);
    Person(w, random, husband + 2, random.Chance(2) ? 'M' : 'F', surname, family, true, bornFrom + 25);
    w.Line("0 " + Id('F', family) + " FAM");
    w.Line("1 HUSB " + Id('I', husband));
    w.Line("1 WIFE " + Id('I', husband + 1));
    w.Line("1 CHIL " + Id('I', husband + 2));
    Event(w, random, "MARR", bornFrom + 20, 15);
  }
  w.Line("0 TRLR");
  w.Finish(path);
}

void WriteOneLineGedcom(const std::filesystem::path& path, std::size_t approxBytes, GedcomFlavour flavour) {
  Writer w(path, flavour);
  Random random;
  w.Text("1 NOTE ");
  while (w.ContentBytes() < approxBytes) {
    w.Text(random.Pick(kSentence));
    w.Text(" ");
  }
  w.Line("");
  w.Finish(path);
}

std::size_t BenchmarkBytes() {
  const char* megabytes = std::getenv("TAVELOCK_BENCH_MB");
  if (megabytes != nullptr && *megabytes != '\0') {
    const unsigned long long value = std::strtoull(megabytes, nullptr, 10);
    if (value > 0) return static_cast<std::size_t>(value) * 1000 * 1000;
  }
  return std::size_t{100} * 1000 * 1000;
}

std::filesystem::path CachedTypicalGedcom(std::size_t approxBytes, GedcomFlavour flavour) {
  static constexpr const char* kNames[] = {"utf8-lf", "utf8-crlf", "utf16le-lf", "utf16le-crlf"};
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tavelock-bench";
  std::filesystem::create_directories(folder);
  // The version changes whenever the content does, so that no stale file is used.
  const std::filesystem::path path =
      folder / ("typical-v2-" + std::to_string(approxBytes) + "-" + kNames[static_cast<int>(flavour)] + ".ged");
  if (!std::filesystem::exists(path)) {
    // Made under another name first, so that an interrupted run leaves no partial file to be reused.
    std::filesystem::path part = path;
    part += ".part";
    WriteTypicalGedcom(part, approxBytes, flavour);
    std::filesystem::rename(part, path);
  }
  return path;
}
