// velmora_refhost_info <plug-in.so>: loads the plug-in through the reference
// host (After Effects profile) and prints its registration, its parameters
// and the pixel formats it accepts.
#include "refhost/PluginReport.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: velmora_refhost_info <plug-in.so>\n";
        return 2;
    }
    try {
        return refhost::printPluginReport(std::cout, argv[1]) ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "velmora_refhost_info: " << e.what() << '\n';
        return 1;
    }
}
