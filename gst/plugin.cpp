/* The plugin libgstregviafft: the regviafftstab element. */
#include <gst/gst.h>

#include "gstregviafftstab.h"

#ifndef PACKAGE
#define PACKAGE "regviafft"
#endif

static gboolean plugin_init(GstPlugin* plugin)
{
    return GST_ELEMENT_REGISTER(regviafftstab, plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, regviafft,
                  "Video stabilisation by phase correlation of gradient-magnitude templates",
                  plugin_init, REGVIAFFT_VERSION, "unknown", PACKAGE, "the regviafft source tree")
