// The viewer's speed on Mesa's software renderer, without a window (EGL
// surfaceless, as a batch conversion draws):
//  - time to the first drawn frame of a converted sample, against f3d
//    rendering the same FBX to an image in the same run (needs a display
//    for f3d: run under xvfb-run);
//  - frame time of a 200 000-triangle model;
//  - heap allocations per frame while an animation plays (target: none
//    after the first frame), counted by replacing the allocation functions.

#include "Animation.h"
#include "AnimationClip.h"
#include "AnimationTarget.h"
#include "ConsoleViewerHost.h"
#include "CountingAllocator.h"
#include "Curve.h"
#include "Effect.h"
#include "HeadlessContext.h"
#include "Material.h"
#include "Mesh.h"
#include "Model.h"
#include "Node.h"
#include "OffscreenPlatform.h"
#include "Platform_Qt.h"
#include "Scene.h"
#include "SceneViewer.h"
#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

const int viewWidth = 800;
const int viewHeight = 600;

// The window's frame buffer, for a context that has none.
void bindFrameBuffer()
{
    GLuint frameBuffer = 0;
    GLuint buffers[2] = {0, 0};
    glGenFramebuffers(1, &frameBuffer);
    glGenRenderbuffers(2, buffers);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, viewWidth, viewHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, viewWidth, viewHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
}

const char* const vertexShader = "attribute vec4 a_position;\n"
                                 "uniform mat4 u_worldViewProjectionMatrix;\n"
                                 "void main() { gl_Position = u_worldViewProjectionMatrix * a_position; }\n";
const char* const fragmentShader = "void main() { gl_FragColor = vec4(0.8, 0.5, 0.2, 1.0); }\n";

// A 317 x 317 grid of quads, two triangles each: about 200 000 triangles
// facing the camera, filling most of the view.
engine::Model* createDenseModel(unsigned int* triangles)
{
    const int cells = 317;
    std::vector<float> positions;
    positions.reserve(size_t(cells) * cells * 18);
    const float step = 40.0f / cells;
    for (int y = 0; y < cells; ++y) {
        for (int x = 0; x < cells; ++x) {
            const float x0 = -20.0f + x * step, y0 = -20.0f + y * step, x1 = x0 + step, y1 = y0 + step;
            positions.insert(positions.end(), {x0, y0, 0, x1, y0, 0, x1, y1, 0, x0, y0, 0, x1, y1, 0, x0, y1, 0});
        }
    }
    const engine::VertexFormat::Element element(engine::VertexFormat::POSITION, 3);
    engine::Mesh* mesh = engine::Mesh::createMesh(engine::VertexFormat(&element, 1), unsigned(positions.size() / 3));
    mesh->setPrimitiveType(engine::Mesh::TRIANGLES);
    mesh->setVertexData(positions.data());
    mesh->setBoundingBox(engine::BoundingBox(engine::Vector3(-20, -20, 0), engine::Vector3(20, 20, 0)));
    *triangles = unsigned(positions.size() / 9);
    engine::Model* model = engine::Model::create(mesh);
    mesh->release();
    engine::Effect* effect = engine::Effect::createFromSource(vertexShader, fragmentShader);
    engine::Material* material = engine::Material::create(effect);
    effect->release();
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    model->setMaterial(material);
    material->release();
    return model;
}

double timeF3d(const QString& fbx, const QString& image)
{
    const QString f3d = QStandardPaths::findExecutable(QStringLiteral("f3d"));
    if (f3d.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return -1.0;
    QElapsedTimer clock;
    clock.start();
    const int code = QProcess::execute(f3d, {"--output=" + image, "--resolution=300,300", fbx});
    return code == 0 ? double(clock.nsecsElapsed()) / 1e6 : -1.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString source = qEnvironmentVariable("VELMORA_SOURCE_DIR", QStringLiteral(VELMORA_SOURCE_DIR));
    const QString fbx = source + "/samples/velmora-stage.fbx";
    QTemporaryDir temp;
    WorkspaceService workspace(temp.path());
    WorkspaceService::setInstance(&workspace);
    workspace.setModelFile(fbx);
    QDir().mkpath(workspace.metaFolder());

    // Time to first picture: context, viewer, the load and one frame.
    QElapsedTimer clock;
    clock.start();
    HeadlessContext context;
    if (!context.isValid() || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions())) {
        std::printf("no off-screen OpenGL context\n");
        return 1;
    }
    bindFrameBuffer();
    ConsoleViewerHost host;
    SceneViewer viewer(&host);
    OffscreenPlatform platform(&viewer, viewWidth, viewHeight);
    viewer.setPlatform(&platform);
    viewer.run();
    viewer.frame();
    viewer.loadModel(QStringLiteral("model.gpb"), QString(), 0);
    viewer.frame();
    glFinish();
    const double firstPictureMs = double(clock.nsecsElapsed()) / 1e6;
    const double f3dMs = timeF3d(fbx, temp.filePath("f3d.png"));
    std::printf("time to first picture: viewer %.1f ms, f3d %.1f ms, ratio %.3f\n", firstPictureMs, f3dMs,
                f3dMs > 0 ? firstPictureMs / f3dMs : 0.0);

    // What a frame of the grid and the selection box alone allocates: the
    // driver's share, which no code of ours can avoid.
    const int frames = 30;
    unsigned long long allocationsBefore = allocationCount;
    for (int i = 0; i < frames; ++i)
        viewer.frame();
    glFinish();
    const double baseAllocations = double(allocationCount - allocationsBefore) / frames;
    std::printf("heap allocations per frame, grid only: %.2f\n", baseAllocations);

    // The clip plays on a node without geometry first, so that its own
    // allocations show apart from the driver's for the dense model.
    engine::Node* node = engine::Node::create("dense");
    viewer.scene()->addNode(node);
    const unsigned int keyTimes[] = {0, 1000, 2000};
    const float angles[] = {0, 0, 1, 0, 0.7071f, 0, 0.7071f, 0, 0, 0, 1, 0};
    engine::Animation* spin
        = node->createAnimation("spin", engine::ANIMATE_ROTATE, 3, keyTimes, angles, engine::Curve::LINEAR);
    engine::AnimationClip* clip = spin->findClip();
    clip->setRepeatCount(0);
    clip->play();
    viewer.frame(); // the clip begins here
    allocationsBefore = allocationCount;
    for (int i = 0; i < frames; ++i)
        viewer.frame();
    glFinish();
    std::printf("heap allocations per frame, grid and a playing clip: %.2f\n",
                double(allocationCount - allocationsBefore) / frames);

    unsigned int triangles = 0;
    engine::Model* dense = createDenseModel(&triangles);
    node->setDrawable(dense);
    dense->release();
    viewer.frame(); // uploads the mesh
    glFinish();
    clock.restart();
    allocationsBefore = allocationCount;
    for (int i = 0; i < frames; ++i)
        viewer.frame();
    glFinish();
    const double frameMs = double(clock.nsecsElapsed()) / 1e6 / frames;
    std::printf("frame time, %u triangles at %d x %d: %.1f ms\n", triangles, viewWidth, viewHeight, frameMs);
    std::printf("heap allocations per frame, that model turning: %.2f\n",
                double(allocationCount - allocationsBefore) / frames);

    clip->stop();
    spin->release();
    viewer.scene()->removeNode(node);
    node->release();
    WorkspaceService::setInstance(nullptr);
    return 0;
}
