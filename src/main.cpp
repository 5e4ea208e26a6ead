#include <cstdlib>

#include "driver/translation_run.h"

// The run's status is the process's exit status. std::exit ends the process
// as a return from main would (static objects destroyed, C streams flushed);
// it is called by name to say that nothing follows the run: every file of
// the run is closed before RunTranslation returns.
int main() { std::exit(RunTranslation()); }
