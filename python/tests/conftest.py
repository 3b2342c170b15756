# Shared inputs of the module's tests: a synthetic photograph stand-in and a seed mask for it.
import numpy as np


def synthetic_image(height, width):
    """A textured background with a hard-edged disc and a soft-edged one overlapping it (RGB uint8)."""
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    hard = np.clip(0.3 * height - np.hypot(x - 0.4 * width, y - 0.5 * height) + 0.5, 0, 1)
    soft = np.clip((0.22 * height - np.hypot(x - 0.7 * width, y - 0.35 * height)) / 8, 0, 1)
    grain = np.random.default_rng(7).normal(0, 6, (height, width, 1))
    texture = 15 * (np.sin(0.21 * x) * np.cos(0.17 * y))[..., None] + grain
    image = np.array([110, 130, 90]) + texture
    image = image * (1 - hard[..., None]) + (np.array([170, 90, 150]) + texture) * hard[..., None]
    image = image * (1 - soft[..., None]) + (np.array([200, 120, 60]) + texture) * soft[..., None]
    return np.clip(np.rint(image), 0, 255).astype(np.uint8)


def seed_mask(height, width):
    """A rough first selection: a box inside the hard-edged disc (uint8, 255 selected)."""
    mask = np.zeros((height, width), np.uint8)
    mask[int(0.35 * height):int(0.6 * height), int(0.3 * width):int(0.45 * width)] = 255
    return mask
