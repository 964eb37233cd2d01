// Animations and clips defined in properties text: clip definitions from a
// "model.animation" file and "animation" namespaces of scene files, with
// well-formed, malformed and hostile input. Run under the sanitizers too.

#include "engine/Animation.h"
#include "engine/AnimationChannel.h"
#include "engine/AnimationClip.h"
#include "engine/AnimationController.h"
#include "engine/Curve.h"
#include "engine/Properties.h"
#include "engine/Transform.h"

#include <QtTest>

#include <cmath>
#include <memory>
#include <random>
#include <string>

using namespace engine;

namespace {

// Linear ramp on translation x whose value is the animation time in ms.
Animation* ramp(Transform& target, const char* id, unsigned int length)
{
    const unsigned int times[2] = { 0, length };
    const float values[6] = { 0, 0, 0, float(length), 0, 0 };
    Animation* animation = target.createAnimation(id, ANIMATE_TRANSLATE, 2, times, values, Curve::LINEAR);
    animation->release();  // the channel keeps it
    return animation;
}

// The first namespace of a text, owned by the returned root.
struct Parsed
{
    explicit Parsed(const std::string& text) : root(Properties::createFromText(text.data(), text.size())) {}
    Properties* first() const { return root && root->namespaceCount() ? root->namespaceAt(0) : nullptr; }
    std::unique_ptr<Properties> root;
};

bool near(float a, float b, float tolerance = 1e-4f)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class AnimationDefinitionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clipsFromFrameRanges();
    void clipsMatchTheAnimationById();
    void hostileClipDefinitionsStayInRange();
    void garbageFilesNeverCrash();

    void animationFromANamespace();
    void incompleteNamespacesMakeNoAnimation_data();
    void incompleteNamespacesMakeNoAnimation();
    void mutatedDefinitionsNeverCrash();

private:
    std::string writeFile(const char* name, const std::string& text);

    AnimationController* _controller = nullptr;
    QTemporaryDir* _dir = nullptr;
};

void AnimationDefinitionsTest::init()
{
    _controller = new AnimationController();
    AnimationController::setCurrent(_controller);
    _controller->start();
    _dir = new QTemporaryDir();
    QVERIFY(_dir->isValid());
}

void AnimationDefinitionsTest::cleanup()
{
    AnimationController::setCurrent(nullptr);
    delete _controller;
    delete _dir;
}

std::string AnimationDefinitionsTest::writeFile(const char* name, const std::string& text)
{
    QFile file(_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return std::string();
    file.write(text.data(), qint64(text.size()));
    return file.fileName().toStdString();
}

void AnimationDefinitionsTest::clipsFromFrameRanges()
{
    Transform target;
    Animation* animation = ramp(target, "walk", 2000);
    const std::string path = writeFile("model.animation",
        "animation walk\n"
        "{\n"
        "    frameCount = 30\n"
        "    clip second_half\n"
        "    {\n"
        "        begin = 15\n"
        "        end = 30\n"
        "        repeatCount = INDEFINITE\n"
        "        loopBlendTime = 100\n"
        "   \n }\n"
        "    clip third\n {\n begin = 10\n end = 20\n repeatCount = 2.5\n speed = -0.5\n }\n"
        "}\n");
    QVERIFY(animation->defineClips(path.c_str()));
    QCOMPARE(animation->clipCount(), 2u);

    AnimationClip* half = animation->findClip("second_half");
    QCOMPARE(half->startTime(), 1000u);
    QCOMPARE(half->endTime(), 2000u);
    QCOMPARE(half->repeatCount(), 0.0f);
    QCOMPARE(half->activeDuration(), 1100u);  // the blend belongs to every cycle

    AnimationClip* third = animation->findClip("third");
    QCOMPARE(third->startTime(), 666u);  // 10 / 30 * 2000 = 666.67, truncated
    QCOMPARE(third->endTime(), 1333u);
    QCOMPARE(third->speed(), -0.5f);
    QCOMPARE(third->activeDuration(), 1667u);  // 667 * 2.5 = 1667.5

    // The clip plays its own part of the time line, then blends back.
    half->play();
    _controller->update(250.0f);
    QVERIFY(near(target.getTranslationX(), 1250.0f, 0.1f));
    _controller->update(800.0f);  // 50 ms into the blend: half-way from 2000 to 1000
    QVERIFY(near(target.getTranslationX(), 1500.0f, 0.5f));
}

void AnimationDefinitionsTest::clipsMatchTheAnimationById()
{
    const std::string path = writeFile("model.animation",
        "animation run\n{\n frameCount = 10\n clip fast\n {\n begin = 0\n end = 5\n }\n}\n"
        "animation walk\n{\n frameCount = 4\n clip a\n {\n begin = 1\n end = 2\n }\n"
        " notes n\n {\n begin = 0\n end = 4\n }\n clip b\n {\n begin = 2\n end = 4\n }\n}\n");
    Transform target;
    Animation* walk = ramp(target, "walk", 1000);
    Animation* run = ramp(target, "run", 1000);
    Animation* jump = ramp(target, "jump", 1000);
    QVERIFY(walk->defineClips(path.c_str()));
    QVERIFY(run->defineClips(path.c_str()));
    QVERIFY(!jump->defineClips(path.c_str()));
    // The clip list ends at the first namespace that is not a clip.
    QCOMPARE(walk->clipCount(), 1u);
    QCOMPARE(walk->clipAt(0)->startTime(), 250u);
    QCOMPARE(run->findClip("fast")->endTime(), 500u);
    QCOMPARE(jump->clipCount(), 0u);

    // A wrapping namespace around the animations is looked into as well.
    const std::string wrapped = writeFile("wrapped.animation",
        "animations\n{\n animation jump\n {\n frameCount = 2\n clip up\n {\n begin = 0\n end = 1\n }\n }\n}\n");
    QVERIFY(jump->defineClips(wrapped.c_str()));
    QCOMPARE(jump->findClip("up")->endTime(), 500u);

    // Missing files and unusable frame counts define nothing.
    QVERIFY(!jump->defineClips((_dir->path() + "/absent.animation").toUtf8().constData()));
    QVERIFY(!jump->defineClips(static_cast<const char*>(nullptr)));
    for (const char* count : { "", " frameCount = 0\n", " frameCount = -30\n", " frameCount = many\n" }) {
        const std::string bad = writeFile("bad.animation", std::string("animation run\n{\n") + count
                                              + " clip a\n {\n begin = 0\n end = 5\n }\n}\n");
        run->defineClips(bad.c_str());
        QCOMPARE(run->clipCount(), 1u);
    }
}

void AnimationDefinitionsTest::hostileClipDefinitionsStayInRange()
{
    Transform target;
    Animation* animation = ramp(target, "walk", 2000);
    const std::string path = writeFile("model.animation",
        "animation walk\n{\n frameCount = 30\n"
        " clip negative\n {\n begin = -50\n end = 15\n }\n"
        " clip huge\n {\n begin = 15\n end = 2147483647\n }\n"
        " clip reversed\n {\n begin = 20\n end = 10\n }\n"
        " clip nonsense\n {\n begin = abc\n end = 30\n repeatCount = -3\n speed = nan\n loopBlendTime = -5\n }\n"
        " clip enormous\n {\n begin = 0\n end = 30\n repeatCount = 1e40\n loopBlendTime = 1e30\n }\n"
        " clip forever\n {\n begin = 0\n end = 30\n repeatCount = INDEFINITE\n loopBlendTime = 1e30\n }\n"
        " clip overflow\n {\n begin = 0\n end = 99999999999999999999\n }\n"
        " clip\n {\n begin = 0\n end = 3\n\n }\n"
        "}\n");
    QVERIFY(animation->defineClips(path.c_str()));

    AnimationClip* negative = animation->findClip("negative");
    QCOMPARE(negative->startTime(), 0u);
    QCOMPARE(negative->endTime(), 1000u);
    QCOMPARE(animation->findClip("huge")->endTime(), 2000u);
    QVERIFY(!animation->findClip("reversed"));
    AnimationClip* nonsense = animation->findClip("nonsense");
    QCOMPARE(nonsense->startTime(), 0u);
    QCOMPARE(nonsense->repeatCount(), 1.0f);
    QVERIFY(std::isfinite(nonsense->speed()));
    QCOMPARE(nonsense->loopBlendTime(), 0u);
    QCOMPARE(animation->findClip("enormous")->activeDuration(), 2000u);  // 1e40 is not a float: ignored
    QCOMPARE(animation->findClip("forever")->activeDuration(), 4294967295u);
    QVERIFY(animation->findClip("overflow"));
    QVERIFY(animation->findClip(""));  // a clip without id is kept
    QCOMPARE(animation->clipCount(), 7u);

    // Every one of them plays a few frames without trouble.
    for (unsigned int i = 0; i < animation->clipCount(); ++i)
        animation->clipAt(i)->play();
    for (int frame = 0; frame < 20; ++frame)
        _controller->update(frame % 2 ? 16.0f : 1000.0f);
    QVERIFY(std::isfinite(target.getTranslationX()));
}

void AnimationDefinitionsTest::garbageFilesNeverCrash()
{
    Transform target;
    Animation* animation = ramp(target, "walk", 1000);
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = char(random() & 0xFF);
    const std::string longLine(10000, 'x');
    std::string deep;
    for (int i = 0; i < 500; ++i)
        deep += "animation walk\n{\n frameCount = 5\n";
    const std::string inputs[] = {
        noise,
        "animation walk\n{\n frameCount = 30\n clip a\n {\n begin = 0\n",  // never closed
        "animation walk\n{\n frameCount = 30\n clip a\n {\n begin = 0\n end = 5\n }\n}\n}\n}\n",
        "animation walk\n{\n frameCount = 30\n clip a\n {\n begin = " + longLine + "\n end = 5\n }\n}\n",
        deep,
        std::string("animation walk\n{\0\n frameCount = 30\n}\n", 32),
    };
    for (const std::string& input : inputs)
        animation->defineClips(writeFile("model.animation", input).c_str());
    QVERIFY(animation->clipCount() < 100u);
}

void AnimationDefinitionsTest::animationFromANamespace()
{
    // Times may be written in hex, or in octal with a leading zero (01750 is 1000).
    Transform target;
    Parsed parsed("animation walk\n{\n property = ANIMATE_TRANSLATE_X\n keyCount = 3\n keyTimes = 0 0x1F4 01750\n"
                  " keyValues = 0 5 20\n curve = LINEAR\n}\n");
    Animation* animation = target.createAnimation("walk", parsed.first());
    QVERIFY(animation);
    AnimationChannel* channel = animation->channelAt(0);
    QCOMPARE(channel->propertyId(), int(ANIMATE_TRANSLATE_X));
    QCOMPARE(channel->duration(), 1000u);
    QCOMPARE(channel->curve()->pointTime(1), 0.5f);
    QCOMPARE(target.findAnimation("walk"), animation);
    animation->findClip()->play();
    _controller->update(750.0f);
    QVERIFY(near(target.getTranslationX(), 12.5f));
    animation->release();

    // An unknown curve name keeps the channel and interpolates linearly.
    Transform third;
    Parsed unknownCurve("animation u\n{\n property = ANIMATE_TRANSLATE_Y\n keyCount = 2\n keyTimes = 0 100\n"
                        " keyValues = 0 10\n curve = WOBBLY\n}\n");
    Animation* wobbly = third.createAnimation("u", unknownCurve.first());
    QVERIFY(wobbly);
    wobbly->findClip()->play();
    _controller->update(30.0f);
    QVERIFY(near(third.getTranslationY(), 3.0f));
    wobbly->release();

    // Rotation with translation, tangents, repeat count and clips in one namespace.
    Transform spinner;
    Parsed spin(
        "animation spin\n{\n property = ANIMATE_ROTATE_TRANSLATE\n keyCount = 2\n keyTimes = 0 1000\n"
        " keyValues = 0 0 0 1 0 0 0   0 0 1 0 4 0 0\n keyIn = 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
        " keyOut = 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n curve = HERMITE\n repeatCount = INDEFINITE\n frameCount = 10\n"
        " clip first_half\n {\n begin = 0\n end = 5\n }\n}\n");
    Animation* spinning = spinner.createAnimation("spin", spin.first());
    QVERIFY(spinning);
    QCOMPARE(*spinning->channelAt(0)->curve()->quaternionOffset(), 0u);
    QCOMPARE(spinning->findClip()->repeatCount(), 0.0f);
    QCOMPARE(spinning->findClip("first_half")->endTime(), 500u);
    spinning->findClip()->play();
    _controller->update(500.0f);
    QVERIFY(near(spinner.getTranslationX(), 2.0f));  // Hermite 0 -> 4 with flat tangents at s = 0.5
    spinning->release();

    // Only one half of the tangents given: the other half counts as zero.
    Transform other;
    Parsed half("animation h\n{\n property = ANIMATE_SCALE_Z\n keyCount = 2\n keyTimes = 0 100\n"
                " keyValues = 1 1\n keyOut = 4 0\n curve = HERMITE\n}\n");
    Animation* bent = other.createAnimation("h", half.first());
    QVERIFY(bent);
    bent->findClip()->play();
    _controller->update(50.0f);
    QVERIFY(near(other.getScaleZ(), 1.5f));  // 1 + 4 * 0.125
    bent->release();
}

void AnimationDefinitionsTest::incompleteNamespacesMakeNoAnimation_data()
{
    QTest::addColumn<QString>("text");
    const QString base = "property = ANIMATE_TRANSLATE_X\n keyCount = 3\n keyTimes = 0 500 1000\n"
                         " keyValues = 0 5 20\n curve = LINEAR\n";
    auto with = [&](const char* from, const char* to) {
        return "animation a\n{\n" + QString(base).replace(from, to) + "}\n";
    };
    QTest::newRow("no curve") << with(" curve = LINEAR\n", "");
    QTest::newRow("other namespace") << "animations a\n{\n" + base + "}\n";
    QTest::newRow("unknown property") << with("ANIMATE_TRANSLATE_X", "ANIMATE_WOBBLE");
    QTest::newRow("scalar property on a transform") << with("ANIMATE_TRANSLATE_X", "ANIMATE_UNIFORM");
    QTest::newRow("keyCount zero") << with("keyCount = 3", "keyCount = 0");
    QTest::newRow("keyCount huge") << with("keyCount = 3", "keyCount = 2147483647");
    QTest::newRow("too few times") << with("0 500 1000", "0 500");
    QTest::newRow("too many values") << with("0 5 20", "0 5 20 7");
    QTest::newRow("negative time") << with("0 500 1000", "0 -500 1000");
    QTest::newRow("time with junk") << with("0 500 1000", "0 500ms 1000");
    QTest::newRow("time too large") << with("0 500 1000", "0 500 99999999999");
    QTest::newRow("times backwards") << with("0 500 1000", "0 1000 500");
    QTest::newRow("value nan") << with("0 5 20", "0 nan 20");
    QTest::newRow("tangents short") << "animation a\n{\n" + base + " keyIn = 0 0\n}\n";
}

void AnimationDefinitionsTest::incompleteNamespacesMakeNoAnimation()
{
    QFETCH(QString, text);
    Transform target;
    Parsed parsed(text.toStdString());
    QVERIFY(parsed.first());
    QVERIFY(!target.createAnimation("a", parsed.first()));
    QCOMPARE(target.channelCount(), 0u);
    QVERIFY(!target.createAnimation("a", nullptr));
}

void AnimationDefinitionsTest::mutatedDefinitionsNeverCrash()
{
    // Random edits of a complete definition (with clips) go through the
    // public entry points and, when accepted, are played for a few frames.
    const std::string seed =
        "animation walk\n{\n property = ANIMATE_SCALE_ROTATE_TRANSLATE\n keyCount = 2\n keyTimes = 0 1000\n"
        " keyValues = 1 1 1 0 0 0 1 0 0 0 2 2 2 0 0 1 0 5 5 5\n curve = BOUNCE_IN_OUT\n repeatCount = 1.5\n"
        " frameCount = 24\n clip a\n {\n begin = 0\n end = 12\n loopBlendTime = 50\n speed = -2\n }\n"
        " clip b\n {\n begin = 6\n end = 24\n repeatCount = INDEFINITE\n }\n}\n";
    const char* const fragments[] = { "-", "0x", "99999999999", " ", "\n", "}", "{", "=", "nan", "-1e38", "0",
                                      "INDEFINITE", "clip c {", "keyCount = 1\n", "#", "//", "/*", "${x}" };
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string text = seed;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
            case 0:
                text.insert(at, fragments[random() % (sizeof(fragments) / sizeof(fragments[0]))]);
                break;
            case 1:
                text.erase(at, random() % 6);
                break;
            default:
                if (at < text.size())
                    text[at] = char(random() & 0x7F);
                break;
            }
        }
        Parsed parsed(text);
        Transform target;
        Animation* animation = target.createAnimation("walk", parsed.first());
        if (!animation)
            continue;
        ++accepted;
        animation->findClip()->play();
        for (unsigned int i = 0; i < animation->clipCount(); ++i)
            animation->clipAt(i)->play();
        for (int frame = 0; frame < 4; ++frame)
            _controller->update(frame == 2 ? 5000.0f : 16.0f);
        animation->release();
    }
    QVERIFY(accepted > 0);  // the mutations do not all break the text
}

QTEST_APPLESS_MAIN(AnimationDefinitionsTest)
#include "tst_animationdefinitions.moc"
