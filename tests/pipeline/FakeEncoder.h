#pragma once

// A stand-in for the model encoder: a shell script placed where the
// application looks for the encoder (<application parent>/tools/linux), plus
// the shader folder that every workspace receives. Header-only; used by the
// loader, model manager and command-line tests.

#include <QDir>
#include <QFile>
#include <QString>

namespace FakeEncoder {

// The bundle the fake writes: known bytes followed by the input path, so a
// test can tell which import produced a workspace's model.
inline QByteArray bundleBytesFor(const QString& inputPath)
{
    return QByteArray("GPB\xabVELMORA-FAKE\n", 17) + inputPath.toUtf8() + '\n';
}

enum class Behaviour {
    Normal,        // writes the bundle, one warning on stdout, one error on stderr, exit 0
    Silent,        // writes the bundle, prints nothing
    Crash,         // prints a line, then dies from SIGSEGV
    FailWithoutModel,  // prints an error, writes nothing, exit 3
    Huge,          // several megabytes on both pipes, then the Normal lines
    Slow,          // waits (long) before doing what Normal does
    ReadsInput,    // reads standard input to its end before doing what Normal does
};

inline QString scriptBody(Behaviour behaviour, const QString& recordFolder)
{
    QString body = QStringLiteral("#!/bin/sh\n"
                                  "record='%1'\n"
                                  "pwd > \"$record/cwd.txt\"\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$record/args.txt\"\n"
                                  "out=\"$8\"\n")
                       .arg(recordFolder);
    const QString writeBundle = QStringLiteral("printf 'GPB\\253VELMORA-FAKE\\n%s\\n' \"$7\" > \"$out\"\n");
    // printf, not echo: the shell's echo would turn the escaped "\n" into a
    // real line break.
    const QString normalLines = QStringLiteral("printf '%s\\n' 'Loading scene...'\n"
                                               "printf '%s\\n' 'Warning (GP#2001|Fake warning): from stdout'\n"
                                               "printf '%s\\n' 'Error (GP#1001|Fake error): from stderr\\nsecond line' >&2\n");
    switch (behaviour) {
    case Behaviour::Normal:
        body += writeBundle + normalLines + QStringLiteral("exit 0\n");
        break;
    case Behaviour::Silent:
        body += writeBundle + QStringLiteral("exit 0\n");
        break;
    case Behaviour::Crash:
        body += QStringLiteral("printf '%s\\n' 'Warning (GP#2002|Before crash): about to crash'\nkill -SEGV $$\nsleep 5\n");
        break;
    case Behaviour::FailWithoutModel:
        body += QStringLiteral("printf '%s\\n' 'Error (GP#1002|Cannot read): the file is not an FBX file' >&2\nexit 3\n");
        break;
    case Behaviour::Huge:
        body += QStringLiteral("i=0\nwhile [ $i -lt 40 ]; do\n"
                               "  head -c 200000 /dev/zero | tr '\\0' 'o'; echo\n"
                               "  head -c 200000 /dev/zero | tr '\\0' 'e' >&2; echo >&2\n"
                               "  i=$((i+1))\ndone\n")
            + writeBundle + normalLines + QStringLiteral("exit 0\n");
        break;
    case Behaviour::Slow:
        // Short sleeps, so that nothing outlives a killed encoder for long.
        body += QStringLiteral("i=0\nwhile [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n") + writeBundle + normalLines + QStringLiteral("exit 0\n");
        break;
    case Behaviour::ReadsInput:
        body += QStringLiteral("cat > /dev/null\n") + writeBundle + normalLines + QStringLiteral("exit 0\n");
        break;
    }
    return body;
}

// Installs the fake below applicationParent ("tools/linux/model-encoder") and
// a small shader folder ("res/shaders"). The script records its working
// folder and arguments into recordFolder.
inline bool install(const QString& applicationParent, Behaviour behaviour, const QString& recordFolder)
{
    QDir().mkpath(applicationParent + QStringLiteral("/tools/linux"));
    QDir().mkpath(applicationParent + QStringLiteral("/res/shaders/lib"));
    QDir().mkpath(recordFolder);
    QFile shader(applicationParent + QStringLiteral("/res/shaders/colored.vert"));
    QFile include(applicationParent + QStringLiteral("/res/shaders/lib/common.glsl"));
    if (!shader.open(QIODevice::WriteOnly) || !include.open(QIODevice::WriteOnly))
        return false;
    shader.write("void main() {}\n");
    include.write("// common\n");

    const QString path = applicationParent + QStringLiteral("/tools/linux/model-encoder");
    QFile::remove(path);
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write(scriptBody(behaviour, recordFolder).toUtf8());
    script.close();
    return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

inline void remove(const QString& applicationParent)
{
    QFile::remove(applicationParent + QStringLiteral("/tools/linux/model-encoder"));
}

} // namespace FakeEncoder
