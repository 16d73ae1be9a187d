// module/classes.hpp: the module's classes, in registration order.
#pragma once

#include "object.hpp"

namespace quorvel::py {

extern ClassDef engine_config_class;

}  // namespace quorvel::py
