/* The plug-in is the whole of velmora_core linked into one shared library;
 * its only exported symbol, PluginEntry, is defined in host/PluginEntry.cpp
 * and kept visible by Velmora.map. This file gives the library target a
 * source of its own. */
typedef int velmora_plugin_export_unit;
