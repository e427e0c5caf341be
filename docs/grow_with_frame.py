# Grows dustweave's tubes with the scene's frame in Blender 3.4: run it (Text Editor, Run Script)
# with the tubes of `dustweave convert --tubes --attributes` selected. Each selected mesh gets a
# Geometry Nodes modifier that deletes the points whose frame (the UV map's u) is past the scene's.
import bpy

grow = bpy.data.node_groups.new("Grow with frame", "GeometryNodeTree")
grow.inputs.new("NodeSocketGeometry", "Geometry")
grow.outputs.new("NodeSocketGeometry", "Geometry")
nodes, link = grow.nodes, grow.links.new
group_in, group_out = nodes.new("NodeGroupInput"), nodes.new("NodeGroupOutput")
uv = nodes.new("GeometryNodeInputNamedAttribute")
uv.data_type, uv.inputs["Name"].default_value = "FLOAT_VECTOR", "UVMap"
frame = nodes.new("ShaderNodeSeparateXYZ")
now = nodes.new("GeometryNodeInputSceneTime")
past = nodes.new("ShaderNodeMath")
past.operation = "GREATER_THAN"
delete = nodes.new("GeometryNodeDeleteGeometry")
link(uv.outputs["Attribute"], frame.inputs["Vector"])
link(frame.outputs["X"], past.inputs[0])
link(now.outputs["Frame"], past.inputs[1])
link(group_in.outputs["Geometry"], delete.inputs["Geometry"])
link(past.outputs["Value"], delete.inputs["Selection"])
link(delete.outputs["Geometry"], group_out.inputs["Geometry"])
for obj in bpy.context.selected_objects:
    if obj.type == "MESH":
        obj.modifiers.new("Grow with frame", "NODES").node_group = grow
