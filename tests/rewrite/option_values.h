#pragma once
// Option values for the rules' tests: the options a case switches on, and
// everything else off. A renaming is on when its original tag is given.

#include <string>
#include <utility>

#include "rewrite/line_rewriter.h"

enum Switch { kOff = 0, kRemove = 1, kReplace = 3, kFold = 4 };

inline RewriteValues With(int on, std::string org1 = "", std::string new1 = "", std::string org2 = "",
                          std::string new2 = "") {
  RewriteValues v;
  v.delNotes = (on & kRemove) != 0;
  v.noteReplace = (on & kReplace) == kReplace;
  v.convertMS4to6 = (on & kFold) != 0;
  v.change01 = !org1.empty();
  v.change01Org = std::move(org1);
  v.change01New = std::move(new1);
  v.change02 = !org2.empty();
  v.change02Org = std::move(org2);
  v.change02New = std::move(new2);
  return v;
}
