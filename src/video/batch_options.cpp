// The batch's option table.
#include "batch_options.h"

namespace video {

const regviafft::OptionTable<BatchOptions>& batchOptions()
{
    static const regviafft::OptionTable<BatchOptions> table = {
        {"force", nullptr,
         "stabilise every file again, even one whose output is complete and was made with the same options",
         regviafft::OptionRule::flag(), "", {}, regviafft::fieldAccess(&BatchOptions::force)},
    };
    return table;
}

}  // namespace video
