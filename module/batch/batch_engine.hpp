// module/batch/batch_engine.hpp: the BatchEngine class of quorvel._batch.
#pragma once

#include "binding/object.hpp"

namespace quorvel::py {

extern ClassDef batch_engine_class;

}  // namespace quorvel::py
