# tests/test_render.py: pictures of matches (colours where the bodies and goals are), windows and videos.
import numpy as np
import pytest

from _quorvel import Engine, EngineConfig
from quorvel.render import Renderer, VideoWriter, Window
from quorvel.render import image as palette
from scripted import scripted_match


def played(config, seed, ticks):
    return scripted_match(config, seed, ticks).spectator(0)


def clear_of_others(frame, config, index):
    """Whether body `index` (a player, or None for the ball) overlaps no other body."""
    bodies = [(p.position, config.player_radius) for p in frame.players]
    bodies.append((frame.ball.position, config.ball_radius))
    (x, y), r = bodies[-1 if index is None else index]
    hx, hy = config.field_width / 2, config.field_height / 2
    return all(((x - ox) * hx) ** 2 + ((y - oy) * hy) ** 2 > (r + orad + 0.2) ** 2
               for k, ((ox, oy), orad) in enumerate(bodies) if k != (len(bodies) - 1 if index is None else index))


@pytest.mark.parametrize("players, width, ticks", [(0, 640, 0), (1, 640, 0), (3, 640, 0), (3, 640, 150),
                                                    (11, 640, 0), (11, 901, 300), (3, 200, 60)])
def test_each_body_shows_its_colour_under_its_centre(players, width, ticks):
    config = EngineConfig(players_per_team=players)
    renderer = Renderer(config, width)
    frame = played(config, 5, ticks)
    image = renderer.render(frame)
    assert image.shape == (renderer.height, width, 3) and image.dtype == np.uint8
    assert renderer.height == round(width / 2)
    for index, player in enumerate(frame.players):
        if clear_of_others(frame, config, index):
            column, row = renderer.pixel_of(player.position)
            assert tuple(image[row, column]) == palette.TEAM_COLOURS[player.team], (index, player)
    column, row = renderer.pixel_of(frame.ball.position)
    assert tuple(image[row, column]) == palette.BALL
    # Player 0 of each team, and only it, wears the marker ring.
    r = int(renderer.player_radius)
    for index, player in enumerate(frame.players):
        if width >= 640 and clear_of_others(frame, config, index):
            column, row = renderer.pixel_of(player.position)
            disc = image[row - r:row + r + 1, column - r:column + r + 1]
            ringed = (disc == palette.MARKER).all(axis=2).any()
            assert ringed == (index in (0, players)), index


@pytest.mark.parametrize("fields", [{}, {"goal_width": 2.0}, {"goal_width": 15.0},
                                    {"field_width": 90.0, "field_height": 60.0, "goal_width": 7.32}])
def test_goal_mouths_are_drawn_to_scale_on_both_goal_lines(fields):
    config = EngineConfig(players_per_team=0, **fields)
    renderer = Renderer(config)
    image = renderer.render(Engine(config, 0).spectator_frame())
    scale = renderer.width / config.field_width
    low = (config.field_height - config.goal_width) / 2   # field y of the mouth's lower post
    for column in (1, renderer.width - 2):
        net = (image[:, column] == palette.NET).all(axis=1)
        field_y = config.field_height - (np.arange(renderer.height) + 0.5) / scale
        inside = (field_y > low + 1 / scale) & (field_y < low + config.goal_width - 1 / scale)
        outside = (field_y < low - 1 / scale) | (field_y > low + config.goal_width + 1 / scale)
        assert net[inside].all() and not net[outside].any()


def test_a_symmetric_kick_off_renders_as_its_own_mirror_image():
    # One player a side: the kick-off is symmetric about the halfway line, so the picture
    # flipped left to right is the same once the team colours swap (the labels aside).
    config = EngineConfig(players_per_team=1)
    renderer = Renderer(config)
    frame = Engine(config, 3).spectator_frame()
    image = renderer.render(frame)
    assert np.array_equal(image, renderer.render(Engine(config, 3).spectator_frame()))
    swapped = image[:, ::-1].copy()
    for a, b in (palette.TEAM_COLOURS, palette.TEAM_EDGES):
        is_a, is_b = (swapped == a).all(axis=2), (swapped == b).all(axis=2)
        swapped[is_a], swapped[is_b] = b, a
    below_labels = renderer.height // 8
    assert np.array_equal(swapped[below_labels:], image[below_labels:])


@pytest.mark.parametrize("fields, width, error", [
    ({}, 8, ValueError), ({}, 640.0, TypeError), ({}, True, TypeError),
    ({"field_width": 0.0}, 640, ValueError), ({"field_height": float("nan")}, 640, ValueError),
    ({"field_width": 1.0, "field_height": 1000.0}, 640, ValueError)])
def test_renderer_refuses_what_it_cannot_draw(fields, width, error):
    with pytest.raises(error):
        Renderer(EngineConfig(**fields), width)


def test_render_refuses_what_is_not_a_frame():
    with pytest.raises(TypeError):
        Renderer(EngineConfig()).render(Engine(EngineConfig(), 0).reset()[0])


def test_window_shows_frames_and_closes_twice(monkeypatch):
    pytest.importorskip("pygame")
    monkeypatch.setenv("SDL_VIDEODRIVER", "dummy")
    config = EngineConfig()
    image = Renderer(config, 320).render(Engine(config, 0).spectator_frame())
    window = Window(config, fps=500.0)
    assert window.fps == 500.0 and Window.__init__.__defaults__[0] is None
    for _ in range(3):
        window.show(image)  # a different size is scaled to the window
    window.close()
    window.close()
    window.show(image)
    assert not window.is_open
    with pytest.raises(ValueError):
        Window(config, fps=0.0)


@pytest.mark.parametrize("suffix", [".mp4", ".gif"])
def test_video_files_read_back_frame_for_frame(tmp_path, suffix):
    imageio = pytest.importorskip("imageio.v2")
    config = EngineConfig()
    renderer = Renderer(config, 322)  # odd height: padded for H.264
    frames = [renderer.render(played(config, 1, ticks)) for ticks in range(0, 60, 5)]
    with VideoWriter(tmp_path / f"m{suffix}", fps=30) as writer:
        for image in frames:
            writer.write(image)
    decoded = imageio.mimread(tmp_path / f"m{suffix}", memtest=False)
    assert len(decoded) == len(frames)
    first = np.asarray(decoded[0])[:renderer.height, :renderer.width, :3].astype(int)
    assert np.abs(first - frames[0]).mean() < 4
    with pytest.raises(ValueError):
        VideoWriter(tmp_path / "m.avi", fps=30)


def test_gymnasium_record_video_writes_a_playable_episode(tmp_path):
    gymnasium = pytest.importorskip("gymnasium")
    imageio = pytest.importorskip("imageio.v2")
    env = gymnasium.make("quorvel/Soccer-v0", render_mode="rgb_array", max_ticks=40)
    env = gymnasium.wrappers.RecordVideo(env, str(tmp_path / "videos"), disable_logger=True)
    env.reset(seed=4)
    done = False
    while not done:
        done = any(env.step(env.action_space.sample())[2:4])
    env.close()
    (video,) = (tmp_path / "videos").glob("*.mp4")
    assert imageio.get_reader(video).count_frames() == 41
