// vorlan: a host of the vorlan13 library for the command line; "vorlan --help" lists the commands.
#include "command_line.h"
#include "host_system.h"

int main(int argc, char** argv) {
    vorlan::host::UseBinaryStdio();
    return vorlan::cli::RunCommandLine(argc, argv);
}
