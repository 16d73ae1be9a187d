"""python/quorvel/envs/gymnasium/registration.py: registers quorvel's environments with Gymnasium (run by ``import quorvel`` when Gymnasium is installed)."""
from gymnasium.envs.registration import register, registry

SOCCER = "quorvel/Soccer-v0"
SELF_PLAY = "quorvel/SoccerSelfPlay-v0"


def register_envs():
    """Registers quorvel/Soccer-v0 (single and vector) and quorvel/SoccerSelfPlay-v0
    (vector only); registering again changes nothing."""
    if SOCCER not in registry:
        register(id=SOCCER, entry_point="quorvel.envs.gymnasium.env:SoccerEnv",
                 vector_entry_point="quorvel.envs.gymnasium.vector:SoccerVectorEnv")
    if SELF_PLAY not in registry:
        register(id=SELF_PLAY,
                 vector_entry_point="quorvel.envs.gymnasium.selfplay:SelfPlayVectorEnv")
