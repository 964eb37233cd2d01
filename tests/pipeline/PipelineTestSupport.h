#pragma once

// Helpers shared by the pipeline tests and the application's tests: running
// programs, files, a folder that refuses writes, a stand-in model encoder and
// zip archives written by Python's zipfile.

#include <QtCore>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1; // -1 also when it did not start or crashed
    QByteArray out;
    QByteArray err;
};

ProcessResult runProgram(const QString& program, const QStringList& arguments, const QString& workingFolder = QString(),
                         const QByteArray& input = QByteArray());
// The system interpreter: the tests run with a private HOME, in which
// per-user interpreter shims do not work.
ProcessResult runPython(const QString& script, const QStringList& arguments, const QByteArray& input = {});
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Relative path -> MD5 of every regular file below folder (links not followed).
QMap<QString, QByteArray> treeDigest(const QString& folder);
// Whether a process is alive: neither gone nor a zombie waiting to be reaped.
bool processRuns(qint64 pid);
// The processes whose parent is pid.
QVector<qint64> childrenOf(qint64 pid);

// Makes a folder refuse new entries and removals. Root ignores permission
// bits, so there the immutable attribute is used; a test skips when neither
// works.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder() { release(); }
    bool isActive() const { return m_active; }
    void release();

private:
    bool lock(bool on);
    QString m_folder;
    bool m_active = false;
};

} // namespace testsupport

// A stand-in for the model encoder: a shell script placed where the
// application looks for the encoder (<application parent>/tools/linux).
namespace FakeEncoder {

enum class Behaviour {
    Normal, // writes the bundle, names its input as read, a warning on stdout (and one after a zero byte), an error on
            // stderr
    Crash, // prints a warning, then dies from SIGSEGV
    FailWithoutModel, // prints an error, writes nothing, exit 3
    SucceedWithoutModel, // prints nothing, writes nothing, exit 0
    UnreadableModel, // prints nothing, writes a bundle the engine cannot read, exit 0
    Huge, // 8 MB on each pipe, then what Normal does
    Slow, // waits 20 s in short sleeps, then what Normal does
    Brief, // waits half a second between "start" and "end" lines in events.txt, makes the bundle's folder if it
           // is gone, then what Normal does
    ReadsInput, // reads standard input to its end, then what Normal does
    WaitsForGo, // waits until recordFolder/go exists (30 s at most), then what Normal does
};

// The bundle the fake writes: one the engine loads, a marker and the input path, so a
// test can tell which import produced a workspace's model.
QByteArray bundleBytesFor(const QString& inputPath);

// Installs the fake as <applicationParent>/tools/linux/model-encoder and a
// small shader folder as <applicationParent>/res/shaders. The script records
// its process id, working folder and arguments into recordFolder.
bool install(const QString& applicationParent, Behaviour behaviour, const QString& recordFolder);

} // namespace FakeEncoder

// Zip archives written by Python's zipfile, which takes any entry name we
// give it, hostile ones included.
namespace ZipFixture {

using Entries = QVector<QPair<QString, QByteArray>>;

// method: a zipfile constant such as "ZIP_DEFLATED", "ZIP_STORED", "ZIP_BZIP2".
bool write(const QString& archivePath, const Entries& entries, const QString& method = "ZIP_DEFLATED");
QByteArray versionFile(const QByteArray& version, const QByteArray& formatJson);
// The smallest bundle the engine loads: one scene, one node with a mesh.
QByteArray bundle();
// A PNG image of that size whose pixel data is a few zero bytes: its header
// says what decoding it would cost.
QByteArray pngOfSize(int width, int height);
// A container as the exporter writes it: bundle, version file, one shader.
Entries validModel(const QByteArray& formatJson = "4", const QByteArray& version = "1.7");

} // namespace ZipFixture
