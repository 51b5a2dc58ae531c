// velmora: deinterlaces Y4M streams through the Velmora plug-in, driven by the
// reference host; `velmora --help` lists the commands and options.
#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/platform/CliPlatform.h"

#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    cli::CliPlatform::prepareProcess();
    cli::CliOptions options;
    try {
        options = cli::parseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const cli::CliError& e) {
        std::cerr << "velmora: " << e.what() << '\n';
        return 2;
    }
    try {
        return cli::runCommand(options, std::cout);
    } catch (const std::bad_alloc&) {
        std::cerr << "velmora: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "velmora: " << e.what() << '\n';
    }
    return 1;
}
