#pragma once

// A stand-in for the model encoder: a shell script placed where the
// application looks for the encoder (<application parent>/tools/linux), plus
// the shader folder that every workspace receives. Also used by the
// application's tests.

#include "PipelineTestSupport.h"

namespace FakeEncoder {

// The bundle the fake writes: known bytes followed by the input path, so a
// test can tell which import produced a workspace's model.
inline QByteArray bundleBytesFor(const QString& inputPath)
{
    return QByteArray("GPB\xabVELMORA-FAKE\n", 17) + inputPath.toUtf8() + '\n';
}

enum class Behaviour {
    Normal, // writes the bundle, a warning on stdout (and one after a zero byte), an error on stderr
    Crash, // prints a warning, then dies from SIGSEGV
    FailWithoutModel, // prints an error, writes nothing, exit 3
    SucceedWithoutModel, // prints nothing, writes nothing, exit 0
    Huge, // 8 MB on each pipe, then what Normal does
    Slow, // waits 20 s in short sleeps, then what Normal does
    Brief, // waits half a second, makes the bundle's folder if it is gone, then what Normal does
    ReadsInput, // reads standard input to its end, then what Normal does
};

inline QString scriptBody(Behaviour behaviour, const QString& recordFolder)
{
    // printf, not echo: echo would turn the escaped "\n" into a line break.
    const QString normal
        = QStringLiteral("printf 'GPB\\253VELMORA-FAKE\\n%s\\n' \"$7\" > \"$8\"\n"
                         "printf '%s\\n' 'Loading scene...' 'Warning (GP#2001|Fake warning): from stdout'\n"
                         "printf '\\000Warning (GP#2009|Hidden): console text ends at a zero byte\\n'\n"
                         "printf '%s\\n' 'Error (GP#1001|Fake error): from stderr\\nsecond line' >&2\n");
    QString body = QStringLiteral("#!/bin/sh\n"
                                  "echo $$ > '%1/pid.txt'\n"
                                  "pwd > '%1/cwd.txt'\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1/args.txt'\n")
                       .arg(recordFolder);
    switch (behaviour) {
    case Behaviour::Normal:
        return body + normal;
    case Behaviour::Crash:
        return body + "printf '%s\\n' 'Warning (GP#2002|Before crash): about to crash'\nkill -SEGV $$\nsleep 5\n";
    case Behaviour::FailWithoutModel:
        return body + "printf '%s\\n' 'Error (GP#1002|Cannot read): the file is not an FBX file' >&2\nexit 3\n";
    case Behaviour::SucceedWithoutModel:
        return body + "exit 0\n";
    case Behaviour::Huge:
        return body
            + "for i in $(seq 40); do head -c 200000 /dev/zero | tr '\\0' o; echo;"
              " head -c 200000 /dev/zero | tr '\\0' e >&2; echo >&2; done\n"
            + normal;
    case Behaviour::Slow: // short sleeps, so that nothing outlives a killed encoder for long
        return body + "for i in $(seq 200); do sleep 0.1; done\n" + normal;
    case Behaviour::Brief:
        return body + "sleep 0.5\nmkdir -p \"$(dirname \"$8\")\"\n" + normal;
    case Behaviour::ReadsInput:
        return body + "cat > /dev/null\n" + normal;
    }
    return body;
}

// Installs the fake as <applicationParent>/tools/linux/model-encoder and a
// small shader folder as <applicationParent>/res/shaders. The script records
// its working folder and arguments into recordFolder.
inline bool install(const QString& applicationParent, Behaviour behaviour, const QString& recordFolder)
{
    const QString script = applicationParent + QStringLiteral("/tools/linux/model-encoder");
    QFile::remove(script); // a fresh file: an encoder still running may hold the old one
    return QDir().mkpath(recordFolder)
        && testsupport::writeFile(applicationParent + QStringLiteral("/res/shaders/colored.vert"), "void main() {}\n")
        && testsupport::writeFile(applicationParent + QStringLiteral("/res/shaders/lib/common.glsl"), "// common\n")
        && testsupport::writeFile(script, scriptBody(behaviour, recordFolder).toUtf8())
        && QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace FakeEncoder
