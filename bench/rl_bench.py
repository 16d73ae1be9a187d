# bench/rl_bench.py: the RL front-ends' benchmarks: the Gymnasium env and vector env, self-play and PettingZoo.
"""Times the RL front-ends of the installed package with perf_counter_ns loops.

Cases (default configuration, 3 a side), each as ns per step of what it steps:
  gym_step          SoccerEnv.step (idle opponent), the observation array returned
  gym_step_made     the same env as gymnasium.make returns it (its checker wrappers)
  gym_vector_step   SoccerVectorEnv, 256 envs, 2 threads, idle opponent, per env-step
  vector_floor      BatchEngine.step of the same 256 matches and commands, per match-tick
  selfplay_step     SelfPlayVectorEnv, 128 matches (256 entries), 2 threads, per entry-step
  selfplay_floor    BatchEngine.step of the same 128 matches and commands, per entry-step
  pettingzoo_step   SoccerParallelEnv.step with all six agents' actions, per step
  scripted_1        the scripted team (policies.make("scripted")) on one match, per call
  scripted_256      the same on 256 matches at once, per match of a call

Team A (every entry, in self-play) replays py_bench's command pattern: everyone runs
at full speed in a direction that turns once per 120 ticks, no kicks; an idle opponent
stands. As in batch_bench, every case first plays WARMUP_TICKS untimed: the first laps
after a kick-off cost half as much again as the rest (players bunched, more contacts).
The scripted team answers the observations of a recorded match of two scripted teams
(256 matches, past their first WARMUP_TICKS ticks), as an opponent does in an environment.
Repetitions of the cases are shuffled together.
"""
import statistics
import time

import timing
from timing import SEED, Case, step_loop, verdict

# numpy, gymnasium and quorvel are imported where they are used, so that bench/run.py
# can import this file for its round and report functions without loading them.

ENVS = 256
THREADS = 2
WARMUP_TICKS = 300

# (case, reference, most allowed or None): the front-ends' ratios. The floors play the
# very matches and commands of their front-end on a bare BatchEngine, so the ratio to
# them is the front-end's own cost; batch_step_2t's matches differ (team B runs).
RATIOS = (("gym_step", "engine_step", 2.5),
          ("gym_vector_step", "batch_step_2t", 1.25),
          ("gym_vector_step", "vector_floor", 1.25),
          ("selfplay_step", "selfplay_floor", None))
# (case, least steps per second): one entry-step of self-play, one env step otherwise.
RATES = (("gym_step", 200_000), ("selfplay_step", 1_500_000), ("pettingzoo_step", 50_000))
# (case, most ns): the scripted team's call for one match (the single env calls it every
# tick), and its share of a call for 256, at most about the engine's own tick of a match.
MOST_NS = (("scripted_1", 150_000), ("scripted_256", 4_000))
CASES = ("gym_step", "gym_step_made", "gym_vector_step", "vector_floor", "selfplay_step",
         "selfplay_floor", "pettingzoo_step", "scripted_1", "scripted_256")
POLICY_TICKS = 600


def pattern(leading):
    """One float32 array of shape leading + (3, 4) per tick of the pattern."""
    return timing.direction_pattern(tuple(leading) + (3,))


def gym_loop(env, schedule):
    step, reset = env.step, env.reset
    start = time.perf_counter_ns()
    for action in schedule:
        obs, reward, terminated, truncated, info = step(action)
        if terminated or truncated:
            reset()
    return time.perf_counter_ns() - start


def pettingzoo_loop(env, schedule):
    step = env.step
    start = time.perf_counter_ns()
    for actions in schedule:
        step(actions)
        if not env.agents:
            env.reset()
    return time.perf_counter_ns() - start


def policy_loop(target, schedule):
    """ns taken by a policy answering each observation batch of schedule in turn."""
    policy, out, rng = target
    start = time.perf_counter_ns()
    for obs in schedule:
        policy(obs, out, rng)
    return time.perf_counter_ns() - start


def scripted_match_observations(config, matches, ticks):
    """Team B's observations of `ticks` ticks of `matches` matches between two scripted
    teams, past their first WARMUP_TICKS."""
    import numpy as np

    import quorvel
    from quorvel import policies
    batch = quorvel.BatchEngine(config, matches, SEED, threads=THREADS)
    teams = policies.make("scripted", config), policies.make("scripted", config)
    rngs = np.random.default_rng([SEED, 0]), np.random.default_rng([SEED, 1])
    actions = np.zeros((matches, 2, config.players_per_team, 4), np.float32)
    obs, seen = batch.reset(), []
    for tick in range(WARMUP_TICKS + ticks):
        if tick >= WARMUP_TICKS:
            seen.append(obs[:, 1].copy())
        for side in (0, 1):
            teams[side](obs[:, side], actions[:, side], rngs[side])
        obs = batch.step(actions)[0]
    return seen


def build_cases(laps):
    import gymnasium
    import numpy as np

    import quorvel
    from quorvel.envs.gymnasium import SelfPlayVectorEnv, SoccerEnv, SoccerVectorEnv
    from quorvel.envs.pettingzoo import SoccerParallelEnv

    single = [a[0] for a in pattern((1,))]
    env = SoccerEnv(opponent="idle")
    made = gymnasium.make("quorvel/Soccer-v0", opponent="idle")
    vector = SoccerVectorEnv(num_envs=ENVS, opponent="idle", threads=THREADS)
    selfplay = SelfPlayVectorEnv(num_envs=ENVS, threads=THREADS)
    floor = quorvel.BatchEngine(quorvel.EngineConfig(), ENVS, SEED, threads=THREADS)
    selfplay_floor = quorvel.BatchEngine(quorvel.EngineConfig(), ENVS // 2, SEED, threads=THREADS)
    parallel = SoccerParallelEnv()
    for e in (env, made, vector, selfplay, parallel):
        e.reset(seed=SEED)
    floor.reset()
    selfplay_floor.reset()
    team_a = pattern((ENVS,))
    commands = []
    for a in team_a:
        c = np.zeros((ENVS, 2, 3, 4), np.float32)
        c[:, 0] = a
        commands.append(c)
    dicts = [{name: a[int(name[2:])] for name in parallel.possible_agents} for a in single]
    from quorvel import policies
    config = quorvel.EngineConfig()
    seen = scripted_match_observations(config, ENVS, POLICY_TICKS)

    def scripted(n):
        out, rng = np.zeros((n, 3, 4), np.float32), np.random.default_rng(SEED)
        return policies.make("scripted", config), out, rng
    # Whole laps: a part of one would drive every player into a corner, where the pile
    # of contacts, not the front-end, would set the pace.
    return [
        Case("gym_step", env, gym_loop, single * 25 * laps, 1),
        Case("gym_step_made", made, gym_loop, single * 25 * laps, 1),
        Case("gym_vector_step", vector, step_loop, team_a * laps, ENVS),
        Case("vector_floor", floor, step_loop, commands * laps, ENVS),
        Case("selfplay_step", selfplay, step_loop,
             [a.reshape(ENVS, 3, 4) for a in pattern((ENVS,))] * laps, ENVS),
        Case("selfplay_floor", selfplay_floor, step_loop, pattern((ENVS // 2, 2)) * laps, ENVS),
        Case("pettingzoo_step", parallel, pettingzoo_loop, dicts * 5 * laps, 1),
        Case("scripted_1", scripted(1), policy_loop, [o[:1] for o in seen] * laps, 1),
        Case("scripted_256", scripted(ENVS), policy_loop, seen[:POLICY_TICKS // 4] * laps, ENVS),
    ]


def run(samples, repetitions=3, laps=1, shuffle=True):
    """Adds each repetition's ns per step of each case to samples."""
    cases = build_cases(laps)
    for case in cases:  # past the kick-off's bunching; caches, pages, the pool's threads
        case.warm_up(WARMUP_TICKS)
    for name, values in timing.run_cases(cases, repetitions, shuffle).items():
        samples[name].extend(values)


def run_round(samples):
    """One round for bench/run.py: three shuffled repetitions of each case."""
    timing.run_child_round(__file__, samples)


def json_fields(ns):
    """The front-ends' entries of bench/run.py's JSON output."""
    return {name + "_ns": round(ns[name], 1) for name in CASES}


def report_lines(ns, rounds, fastest):
    """The front-ends' lines of bench/run.py's report: cases, then targets. A ratio
    whose reference did not run (bench/rl_bench.py alone) is left out."""
    lines = ["", f"{'RL case':<18}{'ns/step':>12}{'steps/s':>14}"]
    for name in CASES:
        lines.append(f"{name:<18}{ns[name]:12,.0f}{1e9 / ns[name]:14,.0f}")
    lines.append(f"{'ratio':<34}{'median':>10}{'fastest':>11}")
    for num, den, limit in RATIOS:
        if den not in ns:
            continue
        ratio = timing.ratio_over_rounds(rounds, num, den)
        target = "" if limit is None else f"   target <= {limit}: {verdict(ratio <= limit)}"
        lines.append(f"{num + ' / ' + den:<34}{ratio:10.3f}{fastest[num] / fastest[den]:11.3f}"
                     + target)
    for name, least in RATES:
        rate = 1e9 / ns[name]
        lines.append(f"{name + ' steps/s':<34}{rate:10,.0f}{1e9 / fastest[name]:11,.0f}"
                     f"   target >= {least:,}: {verdict(rate >= least)}")
    for name, most in MOST_NS:
        lines.append(f"{name + ' ns':<34}{ns[name]:10,.0f}{fastest[name]:11,.0f}"
                     f"   target <= {most:,}: {verdict(ns[name] <= most)}")
    return lines


def main(argv=None):
    parser = timing.parser(__doc__, "write {case: [ns per step of each repetition]}")
    parser.add_argument("--laps", type=int, default=1, help="lengthens every repetition")
    args = parser.parse_args(argv)

    samples = {name: [] for name in CASES}
    run(samples, args.repetitions, args.laps, args.shuffle)
    if args.json:
        timing.write_json(samples, args.json)
    else:
        ns = {name: statistics.median(values) for name, values in samples.items()}
        fastest = {name: min(values) for name, values in samples.items()}
        print("\n".join(report_lines(ns, [samples], fastest)[1:]))


if __name__ == "__main__":
    main()
