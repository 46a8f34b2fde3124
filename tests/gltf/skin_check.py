"""The skinned volumes of a glTF qmf wrote stay on the skeleton as it moves:
at several frames, every vertex bound to a joint lies within its capsule's
radius of a segment from that joint to one of its children (or, for a joint
without children, within the radius of the joint). Positions follow the
animation's keys (one per frame) through the node tree, and the vertices
through the skin's inverse bind matrices, as a viewer computes them."""
import json
import struct

import numpy as np


def read_glb(path):
    data = open(path, "rb").read()
    magic, version, length = struct.unpack_from("<III", data, 0)
    assert magic == 0x46546C67 and version == 2 and length == len(data)
    json_len, _ = struct.unpack_from("<II", data, 12)
    gltf = json.loads(data[20:20 + json_len])
    bin_at = 20 + json_len
    bin_len, _ = struct.unpack_from("<II", data, bin_at)
    return gltf, data[bin_at + 8:bin_at + 8 + bin_len]


def accessor(gltf, blob, index):
    a = gltf["accessors"][index]
    view = gltf["bufferViews"][a["bufferView"]]
    width = {"SCALAR": 1, "VEC3": 3, "VEC4": 4, "MAT4": 16}[a["type"]]
    dtype = {5126: np.float32, 5123: np.uint16, 5125: np.uint32}[a["componentType"]]
    values = np.frombuffer(blob, dtype=dtype, count=a["count"] * width, offset=view.get("byteOffset", 0))
    return values.reshape(a["count"], width) if width > 1 else values


def rotation_matrix(q):
    x, y, z, w = q
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def world_matrices(gltf, blob, frame):
    nodes = gltf["nodes"]
    local = []
    keyed = {}
    for anim in gltf.get("animations", []):
        for ch in anim["channels"]:
            s = anim["samplers"][ch["sampler"]]
            out = accessor(gltf, blob, s["output"])
            keyed[(ch["target"]["node"], ch["target"]["path"])] = out[min(frame, len(out) - 1)]
    for i, n in enumerate(nodes):
        m = np.eye(4)
        r = keyed.get((i, "rotation"), n.get("rotation", [0, 0, 0, 1]))
        t = keyed.get((i, "translation"), n.get("translation", [0, 0, 0]))
        m[:3, :3] = rotation_matrix(np.asarray(r, dtype=float))
        m[:3, 3] = t
        local.append(m)
    parent = {}
    for i, n in enumerate(nodes):
        for c in n.get("children", []):
            parent[c] = i
    world = [None] * len(nodes)

    def of(i):
        if world[i] is None:
            world[i] = local[i] if i not in parent else of(parent[i]) @ local[i]
        return world[i]

    for i in range(len(nodes)):
        of(i)
    return world, parent


def check(path, frames):
    """Returns a list of failures (empty when the volumes hold to the skeleton)."""
    gltf, blob = read_glb(path)
    skin = gltf["skins"][0]
    joints = skin["joints"]
    ibm = accessor(gltf, blob, skin["inverseBindMatrices"]).reshape(-1, 4, 4).transpose(0, 2, 1)
    prim = gltf["meshes"][0]["primitives"][0]
    pos = accessor(gltf, blob, prim["attributes"]["POSITION"]).astype(float)
    bound = accessor(gltf, blob, prim["attributes"]["JOINTS_0"])[:, 0]
    failures = []
    for frame in frames:
        world, parent = world_matrices(gltf, blob, frame)
        at = np.array([w[:3, 3] for w in world])
        children = {}
        for c, p in parent.items():
            children.setdefault(p, []).append(c)
        skinned = np.empty_like(pos)
        for slot, node in enumerate(joints):
            sel = bound == slot
            m = world[node] @ ibm[slot]
            skinned[sel] = pos[sel] @ m[:3, :3].T + m[:3, 3]
        for slot, node in enumerate(joints):
            sel = skinned[bound == slot]
            if len(sel) == 0:
                continue
            # Distance from each vertex to the nearest segment joint -> child.
            best = np.linalg.norm(sel - at[node], axis=1)
            for c in children.get(node, []):
                a, b = at[node], at[c]
                ab = b - a
                t = np.clip(((sel - a) @ ab) / max(ab @ ab, 1e-18), 0, 1)
                best = np.minimum(best, np.linalg.norm(sel - (a + t[:, None] * ab), axis=1))
            reach = 0.08 * 1.001 + 1e-6
            if best.max() > reach:
                failures.append("%s frame %d: a vertex of %s is %.4f m from its bones"
                                % (path, frame, gltf["nodes"][node]["name"], best.max()))
    return failures
