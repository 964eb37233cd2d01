#pragma once

// The codes of the encoder's own messages; docs/encoder-messages.md explains
// each one. Errors are 1000-1049, warnings 2000-2049; materials and textures
// have 1050-1099 and 2050-2099.
namespace MessageCode {
enum : int {
    InputMissing = 1000,
    InputDamaged = 1003,
    ImportFailed = 1004,
    OutputFailed = 1005,
    OutOfResources = 1006,
    InternalFailure = 1007,
    InvalidCommandLine = 1008,
    NoGeometryRead = 1009,

    LightSkipped = 2000,
    TooManyInfluences = 2001,
    PrimitivesSkipped = 2002,
    EmptyMeshSkipped = 2003,
    JointMissing = 2004,
    AnimationTargetMissing = 2005,
    NothingToDraw = 2007,
    ImportWarning = 2008,
    ImporterReport = 2009,
    ObjectNotRead = 2010,
    MorphAnimationDropped = 2011,
    LightsLeftOut = 2012,
    OldFbxPartSkipped = 2013,
    PolygonNotTriangulated = 2014,
    NormalsRecomputed = 2015,
    NonFiniteVertices = 2016,
    ShaderIncludesTooLarge = 2017,
    PivotHelperKept = 2018,

    MaterialFileFailed = 1050,

    TextureNotFound = 2050,
    TextureUnreadable = 2051,
    TextureNotWritten = 2052,
    EmbeddedTextureMissing = 2053,
    ManyJoints = 2054,
    TextureWithoutCoordinates = 2055,
    InvisibleMaterial = 2056,
};
}
