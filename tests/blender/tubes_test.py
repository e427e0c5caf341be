# Blender's own importers reading the tubes: a pfx file of one straight track converted by
# `dustweave convert --tubes --attributes` to .glb, imported by Blender's glTF importer and
# rendered (Cycles, one small frame, nothing set up on the mesh or its material), the pixels at
# the chain's head and tail compared with the chain ramp's two ends; and the tubes' .obj imported
# with its faces. Run inside Blender:
#   blender -b --factory-startup --python-exit-code 1 --python tubes_test.py -- \
#       --dustweave PROGRAM --module MODULE --work FOLDER
# Exit 77 (skipped) when Blender's glTF importer lacks numpy.
import os
import struct
import subprocess
import sys

import bpy
from bpy_extras.object_utils import world_to_camera_view
from mathutils import Vector

SKIPPED = 77
HEAD, TAIL = (0x5B, 0x2A, 0x86), (0xFF, 0xF1, 0xC9)  # the chain ramp at 0 and at 1, sRGB
TOLERANCE = 8  # per channel: 8-bit colours through the renderer's sampling and the view transform
SEARCH_RADIUS = 3  # pixels around a chain end searched for its colour
SAMPLES = 101
WIDTH = 0.04  # the tubes' diameter: several pixels at the frame's size

failures = []


def check(what, ok, detail):
    print(f"{'ok  ' if ok else 'FAIL'} {what}: {detail}")
    if not ok:
        failures.append(what)


def options():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    given = dict(zip([a.lstrip("-") for a in argv[0::2]], argv[1::2]))
    for name in ("dustweave", "module", "work"):
        if name not in given:
            raise SystemExit("usage: tubes_test.py -- --dustweave PROGRAM --module MODULE --work FOLDER")
    return given


def straight_track(path):
    """One particle whose samples run straight from (-1, -0.5, 0) to (1, 0.5, 0), never jumping."""
    data = struct.pack(">iii", 3, 1, SAMPLES) + struct.pack(">iiifff", 0, SAMPLES - 1, 0, 0, 0, 0)
    for k in range(SAMPLES):
        t = k / (SAMPLES - 1)
        data += struct.pack(">fff", -1 + 2 * t, -0.5 + t, 0)
    with open(path, "wb") as f:
        f.write(data)


def convert(given, pfx, out, *extra):
    subprocess.run([given["dustweave"], "convert", pfx, out, "--module", given["module"], "--quiet",
                    "--tubes", str(WIDTH), *extra], check=True)


def import_gltf():
    # Blender 3.4's glTF importer (io_scene_gltf2) needs numpy, and it still names numpy.bool,
    # which numpy 1.24 (Debian 12's) removed after deprecating it: it was always Python's bool.
    try:
        import numpy
    except ImportError:
        print("skipped: Blender's glTF importer needs numpy (Debian: python3-numpy)")
        sys.exit(SKIPPED)
    if "bool" not in vars(numpy):
        numpy.bool = bool


def empty_scene():
    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)


# An orthographic camera looking along Blender's +Y (glTF's -Z) at the imported objects, framing them.
def frame_camera(objects, scene):
    corners = [obj.matrix_world @ Vector(c) for obj in objects for c in obj.bound_box]
    low = Vector([min(c[i] for c in corners) for i in range(3)])
    high = Vector([max(c[i] for c in corners) for i in range(3)])
    centre = (low + high) / 2
    data = bpy.data.cameras.new("camera")
    data.type = "ORTHO"
    data.ortho_scale = 1.2 * max(high.x - low.x, high.z - low.z)
    camera = bpy.data.objects.new("camera", data)
    camera.location = (centre.x, low.y - 10, centre.z)
    camera.rotation_euler = (1.5707963, 0, 0)
    scene.collection.objects.link(camera)
    scene.camera = camera
    return camera


def render(scene, path):
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 16
    scene.cycles.use_denoising = False  # Debian builds Cycles without a denoiser
    scene.render.resolution_x, scene.render.resolution_y = 320, 180
    scene.render.resolution_percentage = 100
    # The screen's colours as the file's: without a tone curve (Blender's default is Filmic).
    scene.view_settings.view_transform = "Standard"
    scene.render.filepath = path
    scene.render.image_settings.file_format = "PNG"
    bpy.ops.render.render(write_still=True)
    return bpy.data.images.load(path)


def pixels_of(image):
    width, height = image.size
    values = list(image.pixels)
    return width, height, lambda x, y: [round(255 * values[4 * ((height - 1 - y) * width + x) + k]) for k in range(3)]


def closest(picture, at, colour):
    width, height, pixel = picture
    best = None
    for dy in range(-SEARCH_RADIUS, SEARCH_RADIUS + 1):
        for dx in range(-SEARCH_RADIUS, SEARCH_RADIUS + 1):
            x, y = round(at[0]) + dx, round(at[1]) + dy
            if 0 <= x < width and 0 <= y < height:
                p = pixel(x, y)
                off = max(abs(p[k] - colour[k]) for k in range(3))
                if best is None or off < best[0]:
                    best = (off, p, x, y)
    return best


def check_glb(given, glb):
    empty_scene()
    bpy.ops.import_scene.gltf(filepath=glb)
    meshes = [obj for obj in bpy.data.objects if obj.type == "MESH"]
    faces = sum(len(obj.data.polygons) for obj in meshes)
    check("the glTF importer makes faces of the tubes", faces == 6 * (SAMPLES - 1), f"{faces} faces")
    colours = [a for obj in meshes for a in obj.data.color_attributes]
    check("the colours arrive as a colour attribute", any(len(a.data) > 0 for a in colours),
          ", ".join(f"{a.name} ({a.domain}, {len(a.data)} entries)" for a in colours) or "none")
    scene = bpy.context.scene
    camera = frame_camera(meshes, scene)
    picture = pixels_of(render(scene, os.path.join(given["work"], "tubes.png")))
    width, height, _ = picture
    # glTF's (x, y, z) is Blender's (x, -z, y).
    for label, end, colour in (("head", (-1, 0, -0.5), HEAD), ("tail", (1, 0, 0.5), TAIL)):
        view = world_to_camera_view(scene, camera, Vector(end))
        at = (view.x * width, (1 - view.y) * height)
        off, p, x, y = closest(picture, at, colour)
        check(f"the {label} shows #{bytes(colour).hex()}", off <= TOLERANCE,
              f"pixel ({x}, {y}) is #{bytes(p).hex()}, off by {off}")


def check_obj(obj):
    empty_scene()
    bpy.ops.wm.obj_import(filepath=obj)
    faces = sum(len(o.data.polygons) for o in bpy.data.objects if o.type == "MESH")
    check("the OBJ importer makes faces of the tubes", faces == 6 * (SAMPLES - 1), f"{faces} faces")


def main():
    given = options()
    os.makedirs(given["work"], exist_ok=True)
    pfx = os.path.join(given["work"], "straight.pfx")
    straight_track(pfx)
    glb, obj = os.path.join(given["work"], "tubes.glb"), os.path.join(given["work"], "tubes.obj")
    convert(given, pfx, glb, "--attributes")
    convert(given, pfx, obj)
    import_gltf()
    check_glb(given, glb)
    check_obj(obj)
    print("Blender renders the tubes in the chain ramp" if not failures else f"{len(failures)} checks failed")
    sys.exit(1 if failures else 0)


main()
