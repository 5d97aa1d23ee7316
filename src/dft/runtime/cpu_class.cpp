#include "../engine.h"

// Placeholder until processor classification lands: the generic class.
int32_t classifyProcessor()
{
    return 0;
}
