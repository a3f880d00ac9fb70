// Command line: placeholder until implemented.
#include "options/Options.h"

#include "arrange/Song.h"

Options* Options::_instance = nullptr;
int Options::_argc = 0;
char** Options::_argv = nullptr;

bool Options::parseOptions(Song*) { return false; }
void Options::printUsage() {}
