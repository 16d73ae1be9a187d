// module/quorvel/classes.hpp: the module's classes, in registration order.
#pragma once

#include "binding/fault.hpp"
#include "binding/fields.hpp"
#include "binding/object.hpp"

namespace quorvel::py {

/// Every entry point of _quorvel raises the engine's fault class for an internal fault.
using Faults = RaiseEngineFault;
/// Attribute descriptors that follow that policy.
using Field = Fields<Faults>;

extern ClassDef engine_config_class;
extern ClassDef action_class;
extern ClassDef actions_class;
extern ClassDef player_obs_class;
extern ClassDef ball_obs_class;
extern ClassDef observation_class;
extern ClassDef reward_class;
extern ClassDef info_class;
extern ClassDef step_result_class;
extern ClassDef spectator_player_class;
extern ClassDef spectator_frame_class;
extern ClassDef engine_class;

}  // namespace quorvel::py
