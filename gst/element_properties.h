/* regviafftstab's properties: one for each option of the stabiliser's table
 * (regviafft/options.h), generated from it with the same name, range, help
 * and default, and the element's own message and attach-meta. An optional
 * option (one derived from the frames when unset) reads 0, or an empty
 * string, while it is unset. */
#ifndef GST_REGVIAFFT_ELEMENT_PROPERTIES_H
#define GST_REGVIAFFT_ELEMENT_PROPERTIES_H

#include <gst/gst.h>

#include "regviafft/stabilizer.h"

struct ElementProperties {
    regviafft::Settings settings;  // the frame size and colour range come with the caps
    bool message = true;           // post each record as an element message
    bool attachMeta = false;       // attach each record to its buffer
};

/* Settings{} except for the mode: causal, since a live pipeline cannot
 * afford lag mode's look-ahead as latency. */
ElementProperties elementDefaults();

void installElementProperties(GObjectClass* klass);

/* Returns whether the value changes how the camera path is made, so that a
 * new path must start; a value refused is reported with g_warning. Call
 * under the object lock. */
bool setElementProperty(GObject* object, ElementProperties& properties, guint id, const GValue* value,
                        GParamSpec* pspec);
void getElementProperty(GObject* object, const ElementProperties& properties, guint id, GValue* value,
                        GParamSpec* pspec);

/* The types of the choice properties, for the plugin's documentation. */
void markElementTypesAsPluginApi();

#endif
