#include "refhost/PluginReport.h"

#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"

#include <cstdio>

namespace refhost {

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

void printRegistration(std::ostream& out, const std::vector<PiplProperty>& properties) {
    out << "Registration (" << properties.size() << " properties)\n";
    for (const PiplProperty& p : properties) {
        out << "  " << p.vendor << " " << p.key << "  ";
        if (p.key == "kind")
            out << piplFourCC(p);
        else if (p.key == "name" || p.key == "catg" || p.key == "eMNA")
            out << '"' << piplPascalString(p) << '"';
        else if (p.key == "wx86" || p.key == "8664")
            out << '"' << piplCString(p) << '"';
        else if (p.data.size() == 4 && p.key != "ePVR" && p.key != "eSVR")
            out << hex32(piplUint32(p));
        else
            out << hexBytes(p.data);
        out << '\n';
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

void printParameters(std::ostream& out, RefHost& host) {
    out << "Parameters (" << host.numParams() << ")\n";
    for (int i = 0; i < host.paramCount(); ++i) {
        const PF_ParamDef& def = host.param(i);
        out << "  " << i << "  ";
        switch (def.param_type) {
        case PF_Param_LAYER:
            out << "layer (input)\n";
            break;
        case PF_Param_POPUP:
            out << "popup \"" << def.name << "\" id " << def.uu.id << ", "
                      << def.u.pd.num_choices << " choices \"" << def.u.pd.u.namesptr
                      << "\", default " << def.u.pd.dephault << ", " << flagsText(def) << '\n';
            break;
        case PF_Param_CHECKBOX:
            out << "checkbox \"" << def.name << "\" id " << def.uu.id << ", label \""
                      << def.u.bd.u.nameptr << "\", default " << int(def.u.bd.dephault) << ", "
                      << flagsText(def) << '\n';
            break;
        default:
            out << "type " << def.param_type << '\n';
        }
    }
}

} // namespace

bool printPluginReport(std::ostream& out, const std::string& libraryPath) {
    PluginLibrary library(libraryPath);
    out << "Plug-in " << libraryPath << "\n  entry point " << library.entryPointName() << " (key '"
        << library.entryPointKey() << "'), match name \"" << library.matchName() << "\"\n";
    printRegistration(out, library.registration());

    RefHost host(HostProfile::afterEffects(), library.entry());
    const CommandResult about = host.about();
    std::string aboutText = about.message();
    for (char& c : aboutText)
        if (c == '\r')
            c = ' ';
    out << "About\n  " << aboutText << '\n';
    const CommandResult setup = host.globalSetup();
    out << "Global setup: error " << setup.err << ", version " << hex32(host.announcedVersion())
        << ", out flags " << hex32(uint32_t(host.announcedOutFlags())) << ", out flags 2 "
        << hex32(uint32_t(host.announcedOutFlags2())) << '\n';
    out << "Accepted pixel formats:";
    for (PrPixelFormat code : host.supportedPixelFormats())
        out << " \"" << fourCCText(code) << '"';
    out << '\n';
    const CommandResult params = host.paramsSetup();
    if (params.err != PF_Err_NONE)
        out << "Parameter setup failed: error " << params.err << '\n';
    printParameters(out, host);
    if (!host.ledger().nothingHeld()) {
        out << "Still held after the commands:\n" << host.ledger().report();
        return false;
    }
    return setup.err == PF_Err_NONE && params.err == PF_Err_NONE;
}

} // namespace refhost
