#include "shell/app.h"

int main() { return Main(); }
