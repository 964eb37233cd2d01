// Vertex stage of every converted model.
// Defines (from the material): SKINNING with SKINNING_JOINT_COUNT n,
// DIFFUSE_TEXTURE, EMISSIVE_TEXTURE, VERTEX_COLOR, or LIGHT_PASS alone. Lighting is done per
// fragment in view space.
// No #version line: the engine puts the material's defines in front of this
// text, and the GLSL 1.10/1.20 subset used here compiles either way.

attribute vec4 a_position;

#ifdef LIGHT_PASS
// The light pass: a quad over the whole view, its corners at -1 and 1, at
// the far plane: the viewer tests it GREATER against the surfaces' depth,
// so pixels without a surface are not shaded.
varying vec2 v_screenCoord;

void main()
{
    gl_Position = vec4(a_position.xy, 1.0, 1.0);
    v_screenCoord = a_position.xy * 0.5 + 0.5;
}
#else
attribute vec3 a_normal;

uniform mat4 u_worldViewProjectionMatrix;
uniform mat4 u_worldViewMatrix;
uniform mat4 u_inverseTransposeWorldViewMatrix;

varying vec3 v_normalVector;
varying vec3 v_viewPosition;

#if defined(DIFFUSE_TEXTURE) || defined(EMISSIVE_TEXTURE)
attribute vec2 a_texCoord;
varying vec2 v_texCoord;
#endif

#ifdef VERTEX_COLOR
attribute vec4 a_color;
varying vec4 v_color;
#endif

#ifdef SKINNING
attribute vec4 a_blendWeights;
attribute vec4 a_blendIndices;
// Three rows of each joint's matrix, as the MATRIX_PALETTE binding supplies them.
uniform vec4 u_matrixPalette[SKINNING_JOINT_COUNT * 3];

void addInfluence(float weight, float jointIndex, vec4 position, vec3 normal,
                  inout vec4 skinnedPosition, inout vec3 skinnedNormal)
{
    int row = int(jointIndex) * 3;
    vec4 r0 = u_matrixPalette[row];
    vec4 r1 = u_matrixPalette[row + 1];
    vec4 r2 = u_matrixPalette[row + 2];
    skinnedPosition += weight * vec4(dot(r0, position), dot(r1, position), dot(r2, position), position.w);
    skinnedNormal += weight * vec3(dot(r0.xyz, normal), dot(r1.xyz, normal), dot(r2.xyz, normal));
}
#endif

void main()
{
    vec4 position = a_position;
    vec3 normal = a_normal;

#ifdef SKINNING
    vec4 skinnedPosition = vec4(0.0);
    vec3 skinnedNormal = vec3(0.0);
    addInfluence(a_blendWeights.x, a_blendIndices.x, position, normal, skinnedPosition, skinnedNormal);
    addInfluence(a_blendWeights.y, a_blendIndices.y, position, normal, skinnedPosition, skinnedNormal);
    addInfluence(a_blendWeights.z, a_blendIndices.z, position, normal, skinnedPosition, skinnedNormal);
    addInfluence(a_blendWeights.w, a_blendIndices.w, position, normal, skinnedPosition, skinnedNormal);
    float totalWeight = a_blendWeights.x + a_blendWeights.y + a_blendWeights.z + a_blendWeights.w;
    // A vertex that no joint moves stays where the mesh put it.
    if (totalWeight > 0.0001) {
        position = vec4(skinnedPosition.xyz / totalWeight, 1.0);
        normal = skinnedNormal;
    }
#endif

    gl_Position = u_worldViewProjectionMatrix * position;
    v_viewPosition = (u_worldViewMatrix * position).xyz;
    v_normalVector = (u_inverseTransposeWorldViewMatrix * vec4(normal, 0.0)).xyz;

#if defined(DIFFUSE_TEXTURE) || defined(EMISSIVE_TEXTURE)
    v_texCoord = a_texCoord;
#endif
#ifdef VERTEX_COLOR
    v_color = a_color;
#endif
}
#endif
