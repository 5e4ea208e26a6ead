#include <cstdlib>

#include "driver/translation_run.h"

int main() { std::exit(RunTranslation()); }
