// Fragment stage of every converted model, lit in view space.
// Defines (from the material): DIFFUSE_TEXTURE, VERTEX_COLOR, SPECULAR,
// EMISSIVE (u_emissiveColor), EMISSIVE_TEXTURE (with EMISSIVE) and at
// most one of DIRECTIONAL_LIGHT, POINT_LIGHT, SPOT_LIGHT (the kind of scene
// light the viewer binds to the material).
// Without a bound light (no light define, or u_lightColor left black) the
// model is lit by a key light from above, in front and to the right of the
// model and a weak fill from the other side. They are fixed to the world,
// not to the eye, so a surface is as bright seen from above as seen in
// perspective, and turning the camera shows the shape rather than a face
// always lit head-on. Bundles made before u_viewMatrix was bound fall back
// to a light that moves with the camera.
//
// LINEAR_LIGHTING (written by newer encoders) lights in linear space:
// colour maps are decoded from sRGB, material and vertex colours are taken
// as linear (as FBX and glTF store them) and the result is encoded to sRGB.
// With it, a material is lit by up to DIRECTIONAL_LIGHT_COUNT,
// POINT_LIGHT_COUNT and SPOT_LIGHT_COUNT scene lights at once (uniform arrays
// the viewer fills, those that reach the mesh first, then black ones); with
// none of them the default lights are used.
// Materials without LINEAR_LIGHTING are drawn exactly as before it existed.
//
// DEFERRED_LIGHTING (with LINEAR_LIGHTING and the light counts) says the
// shader can also light in two steps, which costs each light once per
// screen pixel instead of once per fragment drawn: with GBUFFER it writes
// what lighting needs of the surface to four targets and the depth buffer,
// and with LIGHT_PASS (drawn over the view, model.vert with the same define)
// it lights those with the scene lights.

#ifdef OPENGL_ES
precision highp float;
#endif

// The viewer binds a directional light to materials that ask for specular
// highlights only; the same uniforms are then needed.
#if defined(SPECULAR) && !defined(DIRECTIONAL_LIGHT) && !defined(POINT_LIGHT) && !defined(SPOT_LIGHT) && !defined(LINEAR_LIGHTING)
#define DIRECTIONAL_LIGHT
#endif

#if defined(DIRECTIONAL_LIGHT) || defined(POINT_LIGHT) || defined(SPOT_LIGHT)
#define SCENE_LIGHT
uniform vec3 u_lightColor;
#endif

#ifdef DIRECTIONAL_LIGHT
uniform vec3 u_lightDirection;
#endif

#ifdef POINT_LIGHT
uniform vec3 u_pointLightPosition;
uniform float u_pointLightRangeInverse;
#endif

#ifdef SPOT_LIGHT
uniform vec3 u_spotLightPosition;
uniform vec3 u_spotLightDirection;
uniform float u_spotLightRangeInverse;
uniform float u_spotLightInnerAngleCos;
uniform float u_spotLightOuterAngleCos;
#endif

#ifdef DIRECTIONAL_LIGHT_COUNT
uniform vec3 u_directionalLightColors[DIRECTIONAL_LIGHT_COUNT];
uniform vec3 u_directionalLightDirections[DIRECTIONAL_LIGHT_COUNT];
#endif
#ifdef POINT_LIGHT_COUNT
uniform vec3 u_pointLightColors[POINT_LIGHT_COUNT];
uniform vec3 u_pointLightPositions[POINT_LIGHT_COUNT];
uniform float u_pointLightRangeInverses[POINT_LIGHT_COUNT];
#endif
#ifdef SPOT_LIGHT_COUNT
uniform vec3 u_spotLightColors[SPOT_LIGHT_COUNT];
uniform vec3 u_spotLightPositions[SPOT_LIGHT_COUNT];
uniform vec3 u_spotLightDirections[SPOT_LIGHT_COUNT];
uniform float u_spotLightRangeInverses[SPOT_LIGHT_COUNT];
uniform float u_spotLightInnerAngleCoses[SPOT_LIGHT_COUNT];
uniform float u_spotLightOuterAngleCoses[SPOT_LIGHT_COUNT];
#endif
#if defined(DIRECTIONAL_LIGHT_COUNT) || defined(POINT_LIGHT_COUNT) || defined(SPOT_LIGHT_COUNT)
#define SCENE_LIGHTS
#endif

uniform vec4 u_diffuseColor;
uniform vec3 u_ambientColor;
uniform mat4 u_viewMatrix;
uniform mat4 u_projectionMatrix;

#if defined(SPECULAR) && !defined(LIGHT_PASS)
uniform vec3 u_specularColor;
uniform float u_specularExponent;
#endif

#ifdef EMISSIVE
uniform vec3 u_emissiveColor;
#endif

#ifdef DIFFUSE_TEXTURE
uniform sampler2D u_diffuseTexture;
#endif
#ifdef EMISSIVE_TEXTURE
uniform sampler2D u_emissiveTexture;
#endif
#if defined(DIFFUSE_TEXTURE) || defined(EMISSIVE_TEXTURE)
varying vec2 v_texCoord;
#endif

#ifdef VERTEX_COLOR
varying vec4 v_color;
#endif

#ifdef GBUFFER
// The share of one full light each light gives this material (the scene
// lights are bound at full strength in the light pass).
uniform float u_sceneLightExposure;
#endif

#ifdef LIGHT_PASS
// Written by the GBUFFER draw, one texel of four bytes per pixel of the view
// (see writeSurface).
uniform sampler2D u_surfaceColor;
uniform sampler2D u_surfaceNormal;
uniform sampler2D u_surfaceSpecular;
uniform sampler2D u_surfaceUnlit;
uniform sampler2D u_surfaceDepth; // window depth
uniform mat4 u_inverseProjectionMatrix;
varying vec2 v_screenCoord;
#else
varying vec3 v_normalVector;
varying vec3 v_viewPosition;
#endif

// Towards the lights, in world space (y up).
const vec3 kKeyLightDirection = vec3(0.35, 0.8, 0.49);
const vec3 kFillLightDirection = vec3(-0.5, -0.2, -0.84);
const vec3 kKeyLightColor = vec3(0.75, 0.75, 0.75);
const vec3 kFillLightColor = vec3(0.2, 0.2, 0.22);
// In view space, for bundles without the view matrix.
const vec3 kCameraLightDirection = vec3(0.3, 0.5, 0.81);
const vec3 kCameraFill = vec3(0.1, 0.1, 0.11);
// A highlight adds at most this much: a face square to the light and to the
// eye at once (all of a flat face in an orthographic view) keeps its colour
// instead of turning white.
const float kSpecularStrength = 0.35;
const float kMinSpecularExponent = 16.0;
// Sides that no light reaches still show their colour, whatever ambient the scene asks for.
const vec3 kAmbientFloor = vec3(0.08, 0.08, 0.08);
// The same in linear space: low enough that a side no light reaches reads
// as dark, as it does in other renderers.
const vec3 kLinearAmbientFloor = vec3(0.02, 0.02, 0.02);

float rangeFalloff(float distance, float rangeInverse)
{
    float scaled = distance * rangeInverse;
    return clamp(1.0 - scaled * scaled, 0.0, 1.0);
}

#ifdef LINEAR_LIGHTING
vec3 srgbToLinear(vec3 c)
{
    return mix(c / 12.92, pow((c + 0.055) / 1.055, vec3(2.4)), step(0.04045, c));
}

vec3 linearToSrgb(vec3 c)
{
    c = clamp(c, 0.0, 1.0);
    return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, c));
}
#else
vec3 srgbToLinear(vec3 c)
{
    return c;
}
#endif

#if defined(GBUFFER) || defined(LIGHT_PASS)
// The surface is kept in bytes, which a software rasteriser writes and reads
// far faster than floats. Colours are kept as square roots, which keeps
// their darks as sRGB would; normals in octahedral form, each of the two
// numbers in two bytes; specular exponents (16 to 1024) on a log scale.
vec2 signs(vec2 v)
{
    return vec2(v.x >= 0.0 ? 1.0 : -1.0, v.y >= 0.0 ? 1.0 : -1.0);
}

vec4 packNormal(vec3 normal)
{
    vec3 n = normal / (abs(normal.x) + abs(normal.y) + abs(normal.z));
    vec2 folded = n.z >= 0.0 ? n.xy : (1.0 - abs(n.yx)) * signs(n.xy);
    vec2 value = folded * 0.5 + 0.5;
    vec2 coarse = floor(value * 255.0) / 255.0;
    return vec4(coarse, (value - coarse) * 255.0);
}

vec3 unpackNormal(vec4 bytes)
{
    vec2 folded = (bytes.xy + bytes.zw / 255.0) * 2.0 - 1.0;
    vec3 n = vec3(folded, 1.0 - abs(folded.x) - abs(folded.y));
    if (n.z < 0.0)
        n.xy = (1.0 - abs(n.yx)) * signs(n.xy);
    return normalize(n);
}

float packExponent(float exponent)
{
    return clamp((log2(max(exponent, kMinSpecularExponent)) - 4.0) / 6.0, 0.0, 1.0);
}

float unpackExponent(float scaled)
{
    return 16.0 * exp2(6.0 * scaled);
}
#endif

// What one light adds to the diffuse and specular sums.
void addLight(vec3 normal, vec3 viewDirection, float specularExponent, vec3 lightDirection, vec3 lightColor,
              inout vec3 diffuse, inout vec3 specular)
{
    float diffuseTerm = max(dot(normal, lightDirection), 0.0);
    diffuse += lightColor * diffuseTerm;
#ifdef SPECULAR
    if (diffuseTerm > 0.0) {
        vec3 halfVector = normalize(lightDirection + viewDirection);
        specular += lightColor * pow(max(dot(normal, halfVector), 0.0), max(specularExponent, kMinSpecularExponent));
    }
#endif
}

// A light at `position` as seen from `surfacePosition` (both view space): the unit
// direction towards it in xyz, the square of its distance in w. One inverse
// square root; the range falloff works on the squared distance.
vec4 towardsLight(vec3 position, vec3 surfacePosition, vec3 viewDirection)
{
    vec3 toLight = position - surfacePosition;
    float squaredDistance = dot(toLight, toLight);
    return vec4(squaredDistance > 0.0 ? toLight * inversesqrt(squaredDistance) : viewDirection, squaredDistance);
}

float squaredRangeFalloff(float squaredDistance, float rangeInverse)
{
    return clamp(1.0 - squaredDistance * (rangeInverse * rangeInverse), 0.0, 1.0);
}

#ifdef SCENE_LIGHTS
// The viewer packs the lights that reach the mesh to the front of each array
// and leaves the rest black: the first black light ends a kind's loop, the
// same for every pixel, so lights that cannot reach the mesh are skipped
// where the driver branches on uniforms. Directions come as unit vectors
// along which the light shines.
void addSceneLights(vec3 surfacePosition, vec3 normal, vec3 viewDirection, float specularExponent, inout vec3 diffuse,
                    inout vec3 specular)
{
#ifdef DIRECTIONAL_LIGHT_COUNT
    for (int i = 0; i < DIRECTIONAL_LIGHT_COUNT; ++i) {
        if (dot(u_directionalLightColors[i], u_directionalLightColors[i]) == 0.0)
            break;
        addLight(normal, viewDirection, specularExponent, -u_directionalLightDirections[i],
                 u_directionalLightColors[i], diffuse, specular);
    }
#endif
#ifdef POINT_LIGHT_COUNT
    for (int i = 0; i < POINT_LIGHT_COUNT; ++i) {
        if (dot(u_pointLightColors[i], u_pointLightColors[i]) == 0.0)
            break;
        vec4 towards = towardsLight(u_pointLightPositions[i], surfacePosition, viewDirection);
        addLight(normal, viewDirection, specularExponent, towards.xyz,
                 u_pointLightColors[i] * squaredRangeFalloff(towards.w, u_pointLightRangeInverses[i]), diffuse,
                 specular);
    }
#endif
#ifdef SPOT_LIGHT_COUNT
    for (int i = 0; i < SPOT_LIGHT_COUNT; ++i) {
        if (dot(u_spotLightColors[i], u_spotLightColors[i]) == 0.0)
            break;
        vec4 towards = towardsLight(u_spotLightPositions[i], surfacePosition, viewDirection);
        float cone = smoothstep(u_spotLightOuterAngleCoses[i], u_spotLightInnerAngleCoses[i],
                                dot(-towards.xyz, u_spotLightDirections[i]));
        addLight(normal, viewDirection, specularExponent, towards.xyz,
                 u_spotLightColors[i] * (cone * squaredRangeFalloff(towards.w, u_spotLightRangeInverses[i])), diffuse,
                 specular);
    }
#endif
}
#endif

#ifdef LIGHT_PASS
// Lights each pixel the GBUFFER draw wrote, as the forward draw below lights
// a fragment. Neither discards nor writes depth, so that pixels without a
// surface are rejected before shading by the depth test.
void main()
{
    vec4 color = texture2D(u_surfaceColor, v_screenCoord);
    vec3 normal = unpackNormal(texture2D(u_surfaceNormal, v_screenCoord));
    vec4 specular = texture2D(u_surfaceSpecular, v_screenCoord);
    vec4 unlit = texture2D(u_surfaceUnlit, v_screenCoord);
    vec3 baseColor = color.rgb * color.rgb;
    float depth = texture2D(u_surfaceDepth, v_screenCoord).r;
    vec4 viewPoint = u_inverseProjectionMatrix * vec4(vec3(v_screenCoord, depth) * 2.0 - 1.0, 1.0);
    vec3 position = viewPoint.xyz / viewPoint.w;

    float cameraDistance = length(position);
    bool orthographic = u_projectionMatrix[3][3] > 0.5;
    vec3 viewDirection = cameraDistance > 0.0 && !orthographic ? -position / cameraDistance : vec3(0.0, 0.0, 1.0);
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
#ifdef SCENE_LIGHTS
    addSceneLights(position, normal, viewDirection, unpackExponent(unlit.a), diffuseSum, specularSum);
#endif
    vec3 lit = unlit.rgb * unlit.rgb + specular.a * (baseColor * diffuseSum + specular.rgb * specularSum);
    gl_FragColor = vec4(linearToSrgb(lit), color.a);
}
#else
vec3 emissiveColor()
{
#ifdef EMISSIVE
    vec3 emissive = u_emissiveColor;
#ifdef EMISSIVE_TEXTURE
    emissive *= srgbToLinear(texture2D(u_emissiveTexture, v_texCoord).rgb);
#endif
    return emissive;
#else
    return vec3(0.0);
#endif
}

#ifdef GBUFFER
// What the light pass needs of this fragment; the light terms are added there.
// Lit sums past one are white whatever is added to them, so the unlit share is kept up to one.
void writeSurface(vec4 baseColor, vec3 normal)
{
#ifdef SPECULAR
    vec3 specularColor = kSpecularStrength * u_specularColor;
    float specularExponent = u_specularExponent;
#else
    vec3 specularColor = vec3(0.0);
    float specularExponent = 0.0;
#endif
    vec3 unlit = baseColor.rgb * max(u_ambientColor, kLinearAmbientFloor) + emissiveColor();
    gl_FragData[0] = vec4(sqrt(clamp(baseColor.rgb, 0.0, 1.0)), baseColor.a);
    gl_FragData[1] = packNormal(normal);
    gl_FragData[2] = vec4(specularColor, u_sceneLightExposure);
    gl_FragData[3] = vec4(sqrt(min(unlit, 1.0)), packExponent(specularExponent));
}
#endif

void main()
{
    vec4 baseColor = u_diffuseColor;
#ifdef DIFFUSE_TEXTURE
    vec4 texel = texture2D(u_diffuseTexture, v_texCoord);
    baseColor *= vec4(srgbToLinear(texel.rgb), texel.a);
#endif
#ifdef VERTEX_COLOR
    baseColor *= v_color;
#endif

    // An orthographic camera looks along its own axis from every pixel; the
    // direction to its position would tilt across the image.
    vec3 toCamera = -v_viewPosition;
    float cameraDistance = length(toCamera);
    bool orthographic = u_projectionMatrix[3][3] > 0.5;
    vec3 viewDirection = cameraDistance > 0.0 && !orthographic ? toCamera / cameraDistance : vec3(0.0, 0.0, 1.0);

    vec3 normal = v_normalVector;
    float normalLength = length(normal);
    normal = normalLength > 0.000001 ? normal / normalLength : viewDirection;
    // Surfaces seen from behind (no culling) are lit like their front. The
    // rasteriser knows which side faces the camera for every projection; a
    // test against the direction to the eye fails for orthographic views.
    if (!gl_FrontFacing)
        normal = -normal;

#ifdef GBUFFER
    writeSurface(baseColor, normal);
#else

    vec3 lightDirection = (u_viewMatrix * vec4(normalize(kKeyLightDirection), 0.0)).xyz;
    vec3 fill = kFillLightColor * max(dot(normal, (u_viewMatrix * vec4(normalize(kFillLightDirection), 0.0)).xyz), 0.0);
    if (dot(lightDirection, lightDirection) < 0.5) {
        lightDirection = normalize(kCameraLightDirection);
        fill = kCameraFill;
    }
    vec3 lightColor = kKeyLightColor;
    vec3 ambient = u_ambientColor + fill;

#ifdef SCENE_LIGHT
    if (dot(u_lightColor, u_lightColor) > 0.0) {
        // Importers fold a light's intensity into its colour (a 400 W lamp
        // arrives as 400, 340, 240); only the hue is kept, at full strength.
        float strongest = max(u_lightColor.r, max(u_lightColor.g, u_lightColor.b));
        lightColor = u_lightColor / max(strongest, 1.0);
        ambient = u_ambientColor;
#if defined(SPOT_LIGHT)
        vec3 toLight = u_spotLightPosition - v_viewPosition;
        float lightDistance = length(toLight);
        lightDirection = lightDistance > 0.0 ? toLight / lightDistance : viewDirection;
        float cone = smoothstep(u_spotLightOuterAngleCos, u_spotLightInnerAngleCos,
                                dot(-lightDirection, normalize(u_spotLightDirection)));
        lightColor *= cone * rangeFalloff(lightDistance, u_spotLightRangeInverse);
#elif defined(POINT_LIGHT)
        vec3 toLight = u_pointLightPosition - v_viewPosition;
        float lightDistance = length(toLight);
        lightDirection = lightDistance > 0.0 ? toLight / lightDistance : viewDirection;
        lightColor *= rangeFalloff(lightDistance, u_pointLightRangeInverse);
#else
        // The light shines along its forward vector.
        float directionLength = length(u_lightDirection);
        lightDirection = directionLength > 0.0 ? -u_lightDirection / directionLength : kCameraLightDirection;
#endif
    }
#endif

#ifdef LINEAR_LIGHTING
    vec3 diffuseSum = vec3(0.0);
    vec3 specularSum = vec3(0.0);
#ifdef SPECULAR
    float specularExponent = u_specularExponent;
#else
    float specularExponent = 0.0;
#endif
#ifdef SCENE_LIGHTS
    ambient = u_ambientColor;
    addSceneLights(v_viewPosition, normal, viewDirection, specularExponent, diffuseSum, specularSum);
#else
    addLight(normal, viewDirection, specularExponent, lightDirection, lightColor, diffuseSum, specularSum);
#endif
    vec3 color = baseColor.rgb * (max(ambient, kLinearAmbientFloor) + diffuseSum);
#ifdef SPECULAR
    color += kSpecularStrength * u_specularColor * specularSum;
#endif
#else
    float diffuseTerm = max(dot(normal, lightDirection), 0.0);
    vec3 color = baseColor.rgb * (max(ambient, kAmbientFloor) + lightColor * diffuseTerm);

#ifdef SPECULAR
    if (diffuseTerm > 0.0) {
        vec3 halfVector = normalize(lightDirection + viewDirection);
        float highlight = pow(max(dot(normal, halfVector), 0.0), max(u_specularExponent, kMinSpecularExponent));
        color += kSpecularStrength * u_specularColor * lightColor * highlight;
    }
#endif
#endif

#ifdef EMISSIVE
    color += emissiveColor();
#endif

#ifdef LINEAR_LIGHTING
    color = linearToSrgb(color);
#endif
    gl_FragColor = vec4(color, baseColor.a);
#endif
}
#endif
