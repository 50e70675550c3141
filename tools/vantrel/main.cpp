#include "commands.h"

int main(int argc, char** argv) { return vantrel::cli::runCommandLine(argc, argv); }
