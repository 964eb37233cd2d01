"""Makes the sample models in samples/ with Blender (run by hand, not at build time):

    blender -b --factory-startup --python scripts/make_samples.py -- samples/

velmora-sample.fbx      a skinned, textured, three-material figure with two takes
                        ("Wave" and "Twist"); its texture velmora-sample-skin.png
                        is written beside it and referenced by a relative path
velmora-stage.fbx       a small stage with a sun, a point and a spot light and a camera

Everything is built from code, so the output depends only on this script and
the Blender version. Light energies are small on purpose: importers fold the
energy into the light colour, and the engine expects colours from 0 to 1.
"""

import math
import os
import sys

import bpy


def output_folder():
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    folder = os.path.abspath(args[0] if args else "samples")
    os.makedirs(folder, exist_ok=True)
    return folder


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    for collection in (bpy.data.actions, bpy.data.materials, bpy.data.images, bpy.data.meshes):
        for item in list(collection):
            collection.remove(item)
    scene = bpy.context.scene
    scene.render.fps = 30
    scene.unit_settings.system = 'METRIC'
    scene.unit_settings.scale_length = 1.0
    return scene


def skin_texture(path, size=128):
    """A warm two-tone band pattern with a grid, so UV seams and twists show."""
    image = bpy.data.images.new("velmora-sample-skin", size, size, alpha=False)
    pixels = []
    for y in range(size):
        for x in range(size):
            band = (y // 16) % 2
            grid = (x % 32 == 0) or (y % 32 == 0)
            shade = 0.75 + 0.25 * math.sin(x / size * math.pi * 2.0)
            if grid:
                color = (0.12, 0.10, 0.18)
            elif band:
                color = (0.95 * shade, 0.62 * shade, 0.25 * shade)
            else:
                color = (0.22 * shade, 0.55 * shade, 0.78 * shade)
            pixels.extend((color[0], color[1], color[2], 1.0))
    image.pixels = pixels
    image.filepath_raw = path
    image.file_format = 'PNG'
    image.save()
    return image


def plain_material(name, color, roughness=0.5, specular=0.5):
    material = bpy.data.materials.new(name)
    material.use_nodes = True
    shader = material.node_tree.nodes["Principled BSDF"]
    shader.inputs["Base Color"].default_value = (color[0], color[1], color[2], 1.0)
    shader.inputs["Roughness"].default_value = roughness
    shader.inputs["Specular"].default_value = specular
    return material


def textured_material(name, image):
    material = plain_material(name, (0.8, 0.8, 0.8))
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    material.node_tree.links.new(texture.outputs["Color"], nodes["Principled BSDF"].inputs["Base Color"])
    return material


def figure_mesh(radius=0.45, height=3.0, sides=24, rings=15):
    """A tube standing on the ground with closed ends and a round head: side
    faces use material 0, the end caps and the head material 1 and every fifth
    ring material 2."""
    vertices, faces, face_materials, uvs = [], [], [], []
    for ring in range(rings + 1):
        z = height * ring / rings
        # A slight waist makes the deformation easy to follow.
        r = radius * (1.0 - 0.18 * math.sin(math.pi * ring / rings))
        for side in range(sides):
            angle = 2.0 * math.pi * side / sides
            vertices.append((r * math.cos(angle), r * math.sin(angle), z))
    for ring in range(rings):
        for side in range(sides):
            a = ring * sides + side
            b = ring * sides + (side + 1) % sides
            faces.append((a, b, b + sides, a + sides))
            face_materials.append(2 if ring % 5 == 2 else 0)
            u0, u1 = side / sides, (side + 1) / sides
            v0, v1 = ring / rings, (ring + 1) / rings
            uvs.append(((u0, v0), (u1, v0), (u1, v1), (u0, v1)))
    # A head: a sphere resting on the tube, drawn with the cap material.
    head_radius, head_rings, head_centre = 0.55, 10, height + 0.4
    head_start = len(vertices)
    for ring in range(1, head_rings):
        polar = math.pi * ring / head_rings
        for side in range(sides):
            angle = 2.0 * math.pi * side / sides
            vertices.append((head_radius * math.sin(polar) * math.cos(angle),
                             head_radius * math.sin(polar) * math.sin(angle),
                             head_centre + head_radius * math.cos(polar)))
    head_top = len(vertices)
    vertices.append((0.0, 0.0, head_centre + head_radius))
    head_bottom = len(vertices)
    vertices.append((0.0, 0.0, head_centre - head_radius))
    for ring in range(head_rings - 2):
        for side in range(sides):
            a = head_start + ring * sides + side
            b = head_start + ring * sides + (side + 1) % sides
            faces.append((a, a + sides, b + sides, b))
            face_materials.append(1)
            uvs.append(((0.5, 0.5),) * 4)
    last = head_start + (head_rings - 2) * sides
    for side in range(sides):
        nxt = (side + 1) % sides
        faces.append((head_top, head_start + side, head_start + nxt))
        face_materials.append(1)
        uvs.append(((0.5, 0.5),) * 3)
        faces.append((head_bottom, last + nxt, last + side))
        face_materials.append(1)
        uvs.append(((0.5, 0.5),) * 3)

    bottom_center = len(vertices)
    vertices.append((0.0, 0.0, 0.0))
    top_center = len(vertices)
    vertices.append((0.0, 0.0, height))
    top = rings * sides
    for side in range(sides):
        nxt = (side + 1) % sides
        faces.append((bottom_center, nxt, side))
        face_materials.append(1)
        uvs.append(((0.5, 0.5), (0.5, 0.5), (0.5, 0.5)))
        faces.append((top_center, top + side, top + nxt))
        face_materials.append(1)
        uvs.append(((0.5, 0.5), (0.5, 0.5), (0.5, 0.5)))

    mesh = bpy.data.meshes.new("FigureMesh")
    mesh.from_pydata(vertices, [], faces)
    uv_layer = mesh.uv_layers.new(name="UVMap")
    loop = 0
    for face_index, polygon in enumerate(mesh.polygons):
        polygon.material_index = face_materials[face_index]
        polygon.use_smooth = True
        for corner in range(polygon.loop_total):
            uv_layer.data[polygon.loop_start + corner].uv = uvs[face_index][corner]
            loop += 1
    mesh.update()
    return mesh


def make_figure(folder):
    scene = empty_scene()
    image = skin_texture(os.path.join(folder, "velmora-sample-skin.png"))

    mesh = figure_mesh()
    mesh.materials.append(textured_material("Skin", image))
    mesh.materials.append(plain_material("Cap", (0.85, 0.85, 0.9), roughness=0.2, specular=0.8))
    mesh.materials.append(plain_material("Band", (0.75, 0.12, 0.15), roughness=0.35))
    figure = bpy.data.objects.new("Figure", mesh)
    scene.collection.objects.link(figure)

    armature_data = bpy.data.armatures.new("RigData")
    rig = bpy.data.objects.new("Rig", armature_data)
    scene.collection.objects.link(rig)
    bpy.context.view_layer.objects.active = rig
    bpy.ops.object.mode_set(mode='EDIT')
    names = ["Base", "Middle", "Top"]
    parent = None
    for index, name in enumerate(names):
        bone = armature_data.edit_bones.new(name)
        bone.head = (0.0, 0.0, float(index))
        bone.tail = (0.0, 0.0, float(index + 1))
        if parent:
            bone.parent = parent
            bone.use_connect = True
        parent = bone
    bpy.ops.object.mode_set(mode='OBJECT')

    # Weights by height, blended across each joint so the bends are smooth.
    groups = [figure.vertex_groups.new(name=name) for name in names]
    for vertex in mesh.vertices:
        # The head and the feet follow the end bones fully.
        z = min(max(vertex.co.z, 0.5), 2.5)
        weights = [0.0, 0.0, 0.0]
        for index in range(3):
            centre = index + 0.5
            weights[index] = max(0.0, 1.0 - abs(z - centre) / 1.0)
        total = sum(weights) or 1.0
        for index, weight in enumerate(weights):
            if weight > 0.0:
                groups[index].add([vertex.index], weight / total, 'REPLACE')
    figure.parent = rig
    modifier = figure.modifiers.new("Armature", 'ARMATURE')
    modifier.object = rig

    rig.animation_data_create()
    bpy.context.view_layer.objects.active = rig
    bpy.ops.object.mode_set(mode='POSE')
    takes = {
        "Wave": lambda t, i: (math.radians(25.0) * math.sin(2.0 * math.pi * t + i * 0.8), 0.0, 0.0),
        "Twist": lambda t, i: (0.0, 0.0, math.radians(35.0) * math.sin(2.0 * math.pi * t) * (i + 1) / 3.0),
    }
    frames = 40
    for take_name, rotation in takes.items():
        action = bpy.data.actions.new(take_name)
        action.use_fake_user = True
        rig.animation_data.action = action
        for frame in range(0, frames + 1, 4):
            t = frame / frames
            for index, name in enumerate(names):
                pose_bone = rig.pose.bones[name]
                pose_bone.rotation_mode = 'XYZ'
                pose_bone.rotation_euler = rotation(t, index)
                pose_bone.keyframe_insert("rotation_euler", frame=frame)
    bpy.ops.object.mode_set(mode='OBJECT')
    rig.animation_data.action = bpy.data.actions["Wave"]
    scene.frame_start = 0
    scene.frame_end = frames

    export(os.path.join(folder, "velmora-sample.fbx"), {'ARMATURE', 'MESH'}, animated=True)


def make_stage(folder):
    scene = empty_scene()
    bpy.ops.mesh.primitive_plane_add(size=8.0, location=(0.0, 0.0, 0.0))
    ground = bpy.context.active_object
    ground.name = "Ground"
    ground.data.materials.append(plain_material("Ground", (0.55, 0.55, 0.5), roughness=0.9, specular=0.1))

    bpy.ops.mesh.primitive_cube_add(size=1.2, location=(-1.5, 0.0, 0.6))
    cube = bpy.context.active_object
    cube.name = "Crate"
    cube.data.materials.append(plain_material("Crate", (0.7, 0.35, 0.1)))

    bpy.ops.mesh.primitive_uv_sphere_add(radius=0.7, segments=24, ring_count=12, location=(1.2, 0.5, 0.7))
    sphere = bpy.context.active_object
    sphere.name = "Ball"
    bpy.ops.object.shade_smooth()
    sphere.data.materials.append(plain_material("Ball", (0.15, 0.35, 0.8), roughness=0.15, specular=0.9))

    sun_data = bpy.data.lights.new("SunData", 'SUN')
    sun_data.energy = 1.2
    sun = bpy.data.objects.new("Sun", sun_data)
    sun.rotation_euler = (math.radians(50.0), 0.0, math.radians(30.0))
    sun.location = (0.0, 0.0, 6.0)
    scene.collection.objects.link(sun)

    lamp_data = bpy.data.lights.new("LampData", 'POINT')
    lamp_data.energy = 1.0
    lamp_data.color = (1.0, 0.85, 0.6)
    lamp = bpy.data.objects.new("Lamp", lamp_data)
    lamp.location = (2.5, -2.0, 2.5)
    scene.collection.objects.link(lamp)

    spot_data = bpy.data.lights.new("SpotData", 'SPOT')
    spot_data.energy = 1.2
    spot_data.spot_size = math.radians(40.0)
    spot_data.spot_blend = 0.3
    spot = bpy.data.objects.new("Spot", spot_data)
    spot.location = (-2.5, -2.5, 4.0)
    spot.rotation_euler = (math.radians(35.0), 0.0, math.radians(-45.0))
    scene.collection.objects.link(spot)

    camera_data = bpy.data.cameras.new("CameraData")
    camera_data.lens = 35.0
    camera = bpy.data.objects.new("Camera", camera_data)
    camera.location = (6.0, -6.0, 4.5)
    camera.rotation_euler = (math.radians(65.0), 0.0, math.radians(45.0))
    scene.collection.objects.link(camera)
    scene.camera = camera

    export(os.path.join(folder, "velmora-stage.fbx"), {'MESH', 'LIGHT', 'CAMERA'}, animated=False)


def export(path, object_types, animated):
    bpy.ops.export_scene.fbx(
        filepath=path,
        use_selection=False,
        object_types=object_types,
        apply_unit_scale=True,
        apply_scale_options='FBX_SCALE_ALL',
        axis_forward='-Z',
        axis_up='Y',
        use_mesh_modifiers=False,
        add_leaf_bones=False,
        bake_anim=animated,
        bake_anim_use_all_actions=animated,
        bake_anim_use_nla_strips=False,
        bake_anim_force_startend_keying=True,
        path_mode='RELATIVE',
        embed_textures=False,
    )


def main():
    folder = output_folder()
    make_figure(folder)
    make_stage(folder)


main()
