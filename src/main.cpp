#include <cstdlib>

#include "driver/translation_run.h"

int main() {
  PrepareProcess();
  std::exit(RunTranslation());
}
