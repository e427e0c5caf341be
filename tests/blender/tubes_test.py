# Blender's own importers reading the tubes as an artist opens them: the demo's simulation
# (`dustweave generate`, a quarter of its samples) converted by `dustweave convert --tubes
# --attributes` to .glb, imported into Blender's start-up scene (its light and camera; the cube
# removed, the camera framed on the chains) and rendered with Cycles. The material must be lit (a
# Principled BSDF whose base colour is the colour attribute), the picture must show the chain
# ramp's hues from violet roots to sand tips, and the shading must vary across the tubes; the
# frames are a UV map, and docs/grow_with_frame.py (the recipe of docs/blender.md) grows the
# tubes with the scene's frame, shorter at an early frame than at a late one. The tubes' .obj is
# imported with its faces. Run inside Blender:
#   blender -b --factory-startup --python-exit-code 1 --python tubes_test.py -- \
#       --dustweave PROGRAM --module MODULE --work FOLDER
# Exit 77 (skipped) when Blender's glTF importer lacks numpy.
import colorsys
import os
import subprocess
import sys

import bpy

SKIPPED = 77
CHAINS = 200
SEGMENTS = CHAINS * 25  # the demo's chains at a quarter of their samples: 200 of 26 points
# Each stop of the chain ramp by its hue in degrees and saturation, lit as it may be, and how many
# pixels of the 640 x 360 frame must show it at least.
RAMP = {"violet #5b2a86": (lambda h, s, v: 240 <= h <= 310 and s > 0.3),
        "red #d9483b": (lambda h, s, v: (h >= 345 or h <= 15) and s > 0.5),
        "orange #f4a23a": (lambda h, s, v: 20 <= h <= 40 and s > 0.5),
        "sand #fff1c9": (lambda h, s, v: 30 <= h <= 60 and 0.08 <= s <= 0.45 and v > 0.5)}
LEAST_PIXELS = 100
LEAST_SHADING = 0.6  # the spread of the tubes' brightness (10th to 90th percentile)
# The tubes grown with the scene's frame, rendered small at an early and a late frame: the early
# picture shows at most this share of the late one's tube pixels.
GROWTH_FRAMES = (25, 90)
GROWTH_SIZE, GROWTH_SAMPLES = (320, 180), 4
GROWN_SHARE = 0.5

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


def dustweave(given, *args):
    subprocess.run([given["dustweave"], *args], check=True, stdout=subprocess.DEVNULL)


def convert(given, pfx, out, *extra):
    dustweave(given, "convert", pfx, out, "--module", given["module"], "--quiet", "--step", "25%", "--tubes", *extra)


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


def check_lit(meshes):
    materials = {slot.material for obj in meshes for slot in obj.material_slots if slot.material}
    for material in materials:
        links = {(link.from_node.type, link.to_node.type, link.to_socket.name) for link in material.node_tree.links}
        lit = ("BSDF_PRINCIPLED", "OUTPUT_MATERIAL", "Surface") in links
        tinted = ("VERTEX_COLOR", "BSDF_PRINCIPLED", "Base Color") in links
        check(f"the material {material.name} is lit and takes the colours", lit and tinted,
              ", ".join(sorted(f"{a} -> {b}.{c}" for a, b, c in links)))
    names = sorted({a.name for obj in meshes for a in obj.data.attributes if not a.name.startswith(".")})
    print(f"     the attributes Blender kept: {', '.join(names)}")


# TEXCOORD_0 as Blender keeps it: a UV map whose u is each vertex's frame, the demo's 0, 4, ... 100
# (its v, 0 in the file, turned to 1 - v as Blender turns every glTF UV).
def check_frames(meshes):
    uvs = {(round(d.uv[0], 3), round(d.uv[1], 3)) for obj in meshes for layer in obj.data.uv_layers for d in layer.data}
    check("the UV map holds the frames", uvs == {(float(f), 1.0) for f in range(0, 101, 4)},
          f"{len(uvs)} (u, v): {sorted(uvs)[:3]} ... {sorted(uvs)[-1:]}")


# The start-up camera moved along its own view until the chains fill its frame, as Blender's
# "Align Active Camera to Selected" does.
def frame_camera(scene, meshes):
    coordinates = [c for obj in meshes for v in obj.data.vertices for c in obj.matrix_world @ v.co]
    location, _ = scene.camera.camera_fit_coords(bpy.context.evaluated_depsgraph_get(), coordinates)
    scene.camera.location = location


def render(scene, path, size=(640, 360), samples=16):
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = samples
    scene.cycles.use_denoising = False  # Debian builds Cycles without a denoiser
    scene.render.resolution_x, scene.render.resolution_y = size
    scene.render.resolution_percentage = 100
    # The screen's colours as the file's: without a tone curve (Blender's default is Filmic).
    scene.view_settings.view_transform = "Standard"
    scene.render.filepath = path
    scene.render.image_settings.file_format = "PNG"
    bpy.ops.render.render(write_still=True)
    return bpy.data.images.load(path)


def tube_pixels(image):
    values = list(image.pixels)
    for i in range(0, len(values), 4):
        h, s, v = colorsys.rgb_to_hsv(*values[i:i + 3])
        if s >= 0.08:  # not the world's grey
            yield h, s, v


def check_picture(image):
    tube, stops = [], {name: 0 for name in RAMP}
    for h, s, v in tube_pixels(image):
        tube.append(v)
        for name, shows in RAMP.items():
            stops[name] += shows(360 * h, s, v)
    for name, count in stops.items():
        check(f"the ramp's {name} shows", count >= LEAST_PIXELS, f"{count} pixels")
    tube.sort()
    spread = tube[9 * len(tube) // 10] - tube[len(tube) // 10] if tube else 0
    check("the light shades the tubes", spread >= LEAST_SHADING, f"brightness spread {spread:.2f} over {len(tube)} pixels")


# The set-up of docs/blender.md that grows the tubes with the scene's frame (docs/grow_with_frame.py,
# which the archives ship beside that page), run as an artist runs it with the imported tubes
# selected: at each frame, the points of the frames up to it are left, so the demo's chains (a
# point every 4 frames from 0) keep frame // 4 of their segments, and the picture of an early
# frame shows less of them than a late one's, from the camera that framed them whole.
def check_growth(given, scene, meshes):
    bpy.ops.object.select_all(action="DESELECT")
    for obj in meshes:
        obj.select_set(True)
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "grow_with_frame.py")
    with open(script) as text:
        exec(compile(text.read(), script, "exec"), {})
    shown = {}
    for frame in GROWTH_FRAMES:
        scene.frame_set(frame)
        depsgraph = bpy.context.evaluated_depsgraph_get()
        faces = sum(len(obj.evaluated_get(depsgraph).data.polygons) for obj in meshes)
        check(f"the tubes grown to frame {frame} keep the segments up to it", faces == 6 * CHAINS * (frame // 4), f"{faces} faces")
        image = render(scene, os.path.join(given["work"], f"grown_{frame}.png"), GROWTH_SIZE, GROWTH_SAMPLES)
        shown[frame] = sum(1 for _ in tube_pixels(image))
    early, late = (shown[frame] for frame in GROWTH_FRAMES)
    check("the tubes grow with the frame", LEAST_PIXELS <= early <= late * GROWN_SHARE,
          f"{early} pixels at frame {GROWTH_FRAMES[0]}, {late} at frame {GROWTH_FRAMES[1]}")


def check_glb(given, glb):
    bpy.data.objects.remove(bpy.data.objects["Cube"])
    bpy.ops.import_scene.gltf(filepath=glb)
    meshes = [obj for obj in bpy.data.objects if obj.type == "MESH"]
    faces = sum(len(obj.data.polygons) for obj in meshes)
    check("the glTF importer makes faces of the tubes", faces == 6 * SEGMENTS, f"{faces} faces")
    check_lit(meshes)
    check_frames(meshes)
    scene = bpy.context.scene
    frame_camera(scene, meshes)
    check_picture(render(scene, os.path.join(given["work"], "tubes.png")))
    check_growth(given, scene, meshes)
    for obj in meshes:
        bpy.data.objects.remove(obj)


def check_obj(obj):
    bpy.ops.wm.obj_import(filepath=obj)
    faces = sum(len(o.data.polygons) for o in bpy.data.objects if o.type == "MESH")
    check("the OBJ importer makes faces of the tubes", faces == 6 * SEGMENTS, f"{faces} faces")


def main():
    given = options()
    os.makedirs(given["work"], exist_ok=True)
    pfx = os.path.join(given["work"], "demo.pfx")
    if os.path.exists(pfx):
        os.remove(pfx)
    dustweave(given, "generate", pfx)
    glb, obj = os.path.join(given["work"], "tubes.glb"), os.path.join(given["work"], "tubes.obj")
    convert(given, pfx, glb, "--attributes")
    convert(given, pfx, obj)
    import_gltf()
    check_glb(given, glb)
    check_obj(obj)
    print("Blender renders the tubes lit, in the chain ramp" if not failures else f"{len(failures)} checks failed")
    sys.exit(1 if failures else 0)


main()
