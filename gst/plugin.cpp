/* The plugin libgstregviafft: the regviafftstab element. */
#include <gst/gst.h>

#include "gstregviafftstab.h"

#ifndef PACKAGE
#define PACKAGE "regviafft"
#endif

// GStreamer's name for the MIT licence (LICENSE); a plain "MIT" loads with a
// warning that the licence is unknown.
#define REGVIAFFT_GST_LICENSE "MIT/X11"

static gboolean plugin_init(GstPlugin* plugin)
{
    return GST_ELEMENT_REGISTER(regviafftstab, plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, regviafft,
                  "Video stabilisation by phase correlation of gradient-magnitude templates",
                  plugin_init, REGVIAFFT_VERSION, REGVIAFFT_GST_LICENSE, PACKAGE, "the regviafft source tree")
