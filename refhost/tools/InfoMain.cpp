// velmora_refhost_info <plug-in.so>: loads the plug-in through the reference
// host (After Effects profile) and prints its registration, its parameters
// and the pixel formats it accepts.
#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace {

std::string hexBytes(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02X ", b);
        text += part;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void printRegistration(const std::vector<PiplProperty>& properties) {
    std::cout << "Registration (" << properties.size() << " properties)\n";
    for (const PiplProperty& p : properties) {
        std::cout << "  " << p.vendor << " " << p.key << "  ";
        if (p.key == "kind")
            std::cout << piplFourCC(p);
        else if (p.key == "name" || p.key == "catg" || p.key == "eMNA")
            std::cout << '"' << piplPascalString(p) << '"';
        else if (p.key == "wx86")
            std::cout << '"' << piplCString(p) << '"';
        else if (p.data.size() == 4 && p.key != "ePVR" && p.key != "eSVR")
            std::cout << hex32(piplUint32(p));
        else
            std::cout << hexBytes(p.data);
        std::cout << '\n';
    }
}

std::string flagsText(const PF_ParamDef& def) {
    std::string text = "flags " + hex32(uint32_t(def.flags)) + ", ui flags " +
                       hex32(uint32_t(def.ui_flags));
    if (def.flags & PF_ParamFlag_SUPERVISE)
        text += " supervised";
    if (def.ui_flags & PF_PUI_DISABLED)
        text += " greyed";
    return text;
}

void printParameters(RefHost& host) {
    std::cout << "Parameters (" << host.numParams() << ")\n";
    for (int i = 0; i < host.paramCount(); ++i) {
        const PF_ParamDef& def = host.param(i);
        std::cout << "  " << i << "  ";
        switch (def.param_type) {
        case PF_Param_LAYER:
            std::cout << "layer (input)\n";
            break;
        case PF_Param_POPUP:
            std::cout << "popup \"" << def.name << "\" id " << def.uu.id << ", "
                      << def.u.pd.num_choices << " choices \"" << def.u.pd.u.namesptr
                      << "\", default " << def.u.pd.dephault << ", " << flagsText(def) << '\n';
            break;
        case PF_Param_CHECKBOX:
            std::cout << "checkbox \"" << def.name << "\" id " << def.uu.id << ", label \""
                      << def.u.bd.u.nameptr << "\", default " << int(def.u.bd.dephault) << ", "
                      << flagsText(def) << '\n';
            break;
        default:
            std::cout << "type " << def.param_type << '\n';
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: velmora_refhost_info <plug-in.so>\n";
        return 2;
    }
    try {
        PluginLibrary library(argv[1]);
        std::cout << "Plug-in " << argv[1] << "\n  entry point " << library.entryPointName()
                  << ", match name \"" << library.matchName() << "\"\n";
        printRegistration(library.registration());

        RefHost host(HostProfile::afterEffects(), library.entry());
        const CommandResult about = host.about();
        std::string aboutText = about.message();
        for (char& c : aboutText)
            if (c == '\r')
                c = ' ';
        std::cout << "About\n  " << aboutText << '\n';
        const CommandResult setup = host.globalSetup();
        std::cout << "Global setup: error " << setup.err << ", version "
                  << hex32(host.announcedVersion()) << ", out flags "
                  << hex32(uint32_t(host.announcedOutFlags())) << ", out flags 2 "
                  << hex32(uint32_t(host.announcedOutFlags2())) << '\n';
        std::cout << "Accepted pixel formats:";
        for (PrPixelFormat code : host.supportedPixelFormats())
            std::cout << " \"" << fourCCText(code) << '"';
        std::cout << '\n';
        const CommandResult params = host.paramsSetup();
        if (params.err != PF_Err_NONE)
            std::cout << "Parameter setup failed: error " << params.err << '\n';
        printParameters(host);
        if (!host.ledger().nothingHeld()) {
            std::cout << "Still held after the commands:\n" << host.ledger().report();
            return 1;
        }
        return setup.err == PF_Err_NONE && params.err == PF_Err_NONE ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "velmora_refhost_info: " << e.what() << '\n';
        return 1;
    }
}
