# tests/test_render.py: pictures of matches (colours where the bodies and goals are, nothing cut off, huge bodies clipped), windows and videos.
import os
import subprocess
import sys

import numpy as np
import pytest
from PIL import ImageDraw

from _quorvel import Engine, EngineConfig
from quorvel.render import Renderer, VideoWriter, Window
from quorvel.render import image as palette
from scripted import scripted_match
from quorvel.render.geometry import image_size


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
    assert image_size(config, width) == (width, renderer.height)
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
def test_goals_are_nets_to_scale_behind_both_goal_lines(fields):
    config = EngineConfig(players_per_team=0, **fields)
    renderer = Renderer(config)
    image = renderer.render(Engine(config, 0).spectator_frame())
    g = renderer.geometry
    low = (config.field_height - config.goal_width) / 2   # field y of the mouth's lower post
    behind = round(g.left - g.goal_depth / 2)               # halfway into the left net
    for column in (behind, renderer.width - 1 - behind):
        net = np.isin(image[:, column].astype(int) @ [65536, 256, 1],
                      [r * 65536 + gr * 256 + b for r, gr, b in (palette.NET, palette.NET_MESH)])
        field_y = config.field_height - (np.arange(renderer.height) + 0.5 - g.top) / g.scale
        inside = (field_y > low + 2 / g.scale) & (field_y < low + config.goal_width - 2 / g.scale)
        outside = (field_y < low - 2 / g.scale) | (field_y > low + config.goal_width + 2 / g.scale)
        assert net[inside].all() and not net[outside].any()


@pytest.mark.parametrize("fields", [{}, {"players_per_team": 11}, {"field_width": 90.0, "field_height": 60.0},
                                    {"field_width": 30.0, "field_height": 28.0, "ball_radius": 0.05}])
@pytest.mark.parametrize("width", [16, 96, 640, 4096])
def test_a_body_on_any_line_is_whole_in_the_picture_below_the_band(fields, width):
    config = EngineConfig(**fields)
    renderer = Renderer(config, width)
    g = renderer.geometry
    assert renderer.ball_radius >= 3.5
    for x in (-1.0, 0.0, 1.0):
        for y in (-1.0, 1.0):
            px, py = g.point((x, y))
            for r in (renderer.ball_radius, renderer.player_radius):
                assert r <= px <= width - r and g.band + r <= py <= renderer.height - r, (x, y, r)


def test_a_body_far_larger_than_the_picture_is_drawn_clipped(monkeypatch):
    # Pillow's time grows with the whole shape it is given: every shape a frame draws
    # must be bounded by the picture, whatever the configuration's sizes.
    shapes = []
    for name in ("ellipse", "rectangle"):
        original = getattr(ImageDraw.ImageDraw, name)
        monkeypatch.setattr(ImageDraw.ImageDraw, name,
                            lambda self, box, *a, _f=original, **k: shapes.append(box) or _f(self, box, *a, **k))
    for fields in ({"player_radius": 1e4}, {"player_radius": -1e6}, {"ball_radius": 1e6}):
        config = EngineConfig(players_per_team=1, **fields)
        renderer = Renderer(config, 320)
        shapes.clear()
        image = renderer.render(Engine(config, 0).spectator_frame())
        limit = 2 * (renderer.width + renderer.height)
        assert shapes and all(-limit <= v <= limit for box in shapes for v in box), fields
        field = image[renderer.geometry.band:]
        covered = np.zeros(field.shape[:2], bool)
        for colour in (*palette.TEAM_COLOURS, *palette.TEAM_EDGES, palette.MARKER, palette.BALL, palette.BALL_EDGE):
            covered |= (field == colour).all(axis=2)
        assert covered.all(), fields


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
    band = renderer.geometry.band
    assert np.array_equal(swapped[band:], image[band:])


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


def test_human_mode_passes_gymnasiums_checks_with_no_display_at_all():
    # As pygame's own windows do, ours are drawn off screen where there is no display; in a
    # fresh process, since pygame's display is one per process and the suite's is a dummy.
    pytest.importorskip("gymnasium")
    pytest.importorskip("pygame")
    code = ("import os, warnings\n"
            "import gymnasium as gym, quorvel\n"
            "from gymnasium.utils.env_checker import check_env\n"
            "warnings.simplefilter('error')\n"
            "env = gym.make('quorvel/Soccer-v0', max_ticks=20)\n"
            "check_env(env.unwrapped)\n"
            "human = gym.make('quorvel/Soccer-v0', render_mode='human', max_ticks=20)\n"
            "human.reset(seed=0)\n"
            "human.step(human.action_space.sample())\n"
            "human.close()\n"
            "assert 'SDL_VIDEODRIVER' not in os.environ\n")
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    done = subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True,
                          text=True, timeout=300)
    assert (done.returncode, done.stderr) == (0, "")


@pytest.mark.parametrize("suffix", [".mp4", ".gif"])
def test_video_files_read_back_frame_for_frame(tmp_path, suffix):
    imageio = pytest.importorskip("imageio.v2")
    config = EngineConfig()
    renderer = Renderer(config, 322)  # odd height: padded for H.264
    frames = [renderer.render(played(config, 1, ticks)) for ticks in range(0, 60, 5)]
    with VideoWriter(tmp_path / f"m{suffix}", fps=30) as writer:
        for image in frames:
            writer.write(image)
    with pytest.raises(ValueError, match="closed"):
        writer.write(frames[0])
    decoded = imageio.mimread(tmp_path / f"m{suffix}", memtest=False)
    assert len(decoded) == len(frames)
    first = np.asarray(decoded[0])[:renderer.height, :renderer.width, :3].astype(int)
    assert np.abs(first - frames[0]).mean() < 4
    with pytest.raises(ValueError):
        VideoWriter(tmp_path / "m.avi", fps=30)


# ffmpeg's failure shows at close (one small frame, still buffered), or while it takes frames
@pytest.mark.parametrize("frames, side", [(1, 16), (200, 320)])
def test_an_mp4_that_ffmpeg_fails_to_write_is_an_error_naming_it_and_is_removed(
        tmp_path, monkeypatch, frames, side):
    pytest.importorskip("imageio_ffmpeg")
    encoder = tmp_path / "ffmpeg"
    encoder.write_text('#!/bin/sh\nfor last; do :; done\necho partial > "${last#file:}"\n'
                       'echo "[mp4 @ 0x1] Error writing trailer: No space left on device" >&2\n'
                       'echo "Conversion failed!" >&2\nexit 1\n')
    encoder.chmod(0o755)
    monkeypatch.setenv("IMAGEIO_FFMPEG_EXE", str(encoder))
    writer = VideoWriter(tmp_path / "m.mp4", fps=30)
    with pytest.raises(OSError) as failed:
        for _ in range(frames):
            writer.write(np.zeros((side, side, 3), np.uint8))
        writer.close()
    assert failed.value.filename == str(tmp_path / "m.mp4")
    assert failed.value.strerror == ("ffmpeg stopped with status 1: "
                                     "Error writing trailer: No space left on device")
    assert str(failed.value).endswith("\n  Conversion failed!")
    assert not (tmp_path / "m.mp4").exists()
    writer.close()  # told once


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
