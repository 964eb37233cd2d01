#include "CommandLineRequest.h"

#include "ModelFileTypes.h"
#include "ShardSelection.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

#include <cstring>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

const int kMaxJobs = 256;
const int kMaxTimeoutSeconds = 7 * 24 * 3600;

struct Options {
    QCommandLineOption convert {"convert", tr("Convert models into vm3 files without a window.")};
    QCommandLineOption thumbnail {"thumbnail", tr("Draw a model file or vm3 file as a PNG preview of SIZE pixels.")};
    QCommandLineOption info {"info", tr("Print what a model holds.")};
    QCommandLineOption mergeReports {"merge-reports",
                                     tr("Merge the reports of every shard of a run into one, checking that none "
                                        "is missing.")};
    QCommandLineOption grouping {"grouping", tr("How animations are grouped: none, root or take (default: root)."),
                                 tr("MODE"), "root"};
    QCommandLineOption culling {"culling",
                                tr("Back-face culling of the materials: off, ccw, cw or material (default: off)."),
                                tr("MODE"), "off"};
    QCommandLineOption outputDir {"output-dir",
                                  tr("Convert every INPUT (files, or folders searched recursively) into DIR, "
                                     "keeping the paths below each folder."),
                                  tr("DIR")};
    QCommandLineOption jobs {
        QStringList {"j", "jobs"},
        tr("Conversions at once with --output-dir (default: one per processor this process may use)."), tr("N")};
    QCommandLineOption timeout {"timeout",
                                tr("With --output-dir: stop a conversion that takes longer than SECONDS and "
                                   "count it as failed (default: %1).")
                                    .arg(CommandLineRequest::kDefaultTimeoutSeconds),
                                tr("SECONDS")};
    QCommandLineOption report {
        "report", tr("Write one JSON line per input and a summary line to FILE (new, empty or an earlier report)."),
        tr("FILE")};
    QCommandLineOption force {"force", tr("Convert even inputs whose output is up to date.")};
    QCommandLineOption shard {"shard",
                              tr("Convert only every N-th input from the K-th (K from 1 to N), or with auto the "
                                 "part the job scheduler's task array gives this task."),
                              tr("K/N|auto")};
    QCommandLineOption shardBase {"shard-base", tr("Count K in --shard K/N from 0 or 1 (default: 1)."), tr("0|1")};
    QCommandLineOption shardCount {"shard-count", tr("The number of shards, for --shard auto in an indexed job."),
                                   tr("N")};
    QCommandLineOption quiet {"quiet", tr("Print only failures.")};
    QCommandLineOption verbose {"verbose", tr("Also print the container's files on standard output.")};
    QCommandLineOption json {"json", tr("With --info: print one JSON object.")};
    QCommandLineOption tree {"tree",
                             tr("With --info: also list the node hierarchy with each node's kind, mesh, "
                                "materials and transform.")};
    QCommandLineOption help {QStringList {"h", "help"}, tr("Print this help.")};
    QCommandLineOption version {QStringList {"v", "version"}, tr("Print the version.")};

    void addTo(QCommandLineParser& parser) const
    {
        for (const QCommandLineOption* option :
             {&convert, &thumbnail, &info,   &mergeReports, &grouping, &culling,   &outputDir,
              &jobs,    &timeout,   &report, &force,        &shard,    &shardBase, &shardCount,
              &quiet,   &verbose,   &json,   &tree,         &help,     &version})
            parser.addOption(*option);
    }
    bool anyShardOption(const QCommandLineParser& parser) const
    {
        return parser.isSet(shard) || parser.isSet(shardBase) || parser.isSet(shardCount);
    }
};

bool isOneOf(const QString& value, std::initializer_list<const char*> allowed)
{
    for (const char* candidate : allowed) {
        if (value == QLatin1String(candidate))
            return true;
    }
    return false;
}

// "--convert=IN" is the form earlier versions took; it still means the same.
QStringList splitModeValues(const QStringList& arguments)
{
    QStringList split;
    for (const QString& argument : arguments) {
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString name = argument.left(equals);
        if (equals > 0 && isOneOf(name, {"--convert", "--thumbnail", "--info"}))
            split << name << argument.mid(equals + 1);
        else
            split << argument;
    }
    return split;
}

QString modeError(const CommandLineRequest& request)
{
    const int count = request.arguments.size();
    switch (request.mode) {
    case CommandLineRequest::Mode::Convert:
        if (request.isBatch())
            return count >= 1 ? QString() : tr("--convert --output-dir DIR needs at least one input file or folder.");
        if (count != 2)
            return tr("--convert needs exactly one input and one output file: --convert INPUT OUTPUT.vm3 "
                      "(several inputs need --output-dir DIR).");
        return QString();
    case CommandLineRequest::Mode::Thumbnail:
        return count == 3 ? QString() : tr("--thumbnail needs three arguments: --thumbnail INPUT OUTPUT SIZE");
    case CommandLineRequest::Mode::Info:
        return count == 1 ? QString() : tr("--info needs exactly one file: --info FILE [--json]");
    case CommandLineRequest::Mode::MergeReports:
        return count >= 2 ? QString()
                          : tr("--merge-reports needs the merged report and the reports: "
                               "--merge-reports MERGED REPORT...");
    default:
        return QString();
    }
}

QString readShard(const QCommandLineParser& parser, const Options& o, CommandLineRequest* request)
{
    const ShardSelection shard
        = ShardSelection::read(parser.value(o.shard), parser.value(o.shardBase), parser.value(o.shardCount),
                               QProcessEnvironment::systemEnvironment());
    request->shardIndex = shard.index;
    request->shardCount = shard.count;
    return shard.error;
}

bool readTimeout(const QString& text, CommandLineRequest* request)
{
    bool isNumber = false;
    request->timeoutSeconds = text.toInt(&isNumber);
    return isNumber && request->timeoutSeconds >= 1 && request->timeoutSeconds <= kMaxTimeoutSeconds;
}

QString readBatchOptions(const QCommandLineParser& parser, const Options& o, CommandLineRequest* request)
{
    const bool batchOnly = parser.isSet(o.jobs) || o.anyShardOption(parser) || parser.isSet(o.timeout);
    if (batchOnly && !request->isBatch())
        return tr("-j, --shard and --timeout need --output-dir DIR.");
    if (parser.isSet(o.timeout) && !readTimeout(parser.value(o.timeout), request))
        return tr("--timeout needs a number of seconds from 1 to %1, not \"%2\".")
            .arg(kMaxTimeoutSeconds)
            .arg(parser.value(o.timeout));
    if (parser.isSet(o.jobs)) {
        bool isNumber = false;
        request->jobs = parser.value(o.jobs).toInt(&isNumber);
        if (!isNumber || request->jobs < 1 || request->jobs > kMaxJobs)
            return tr("-j needs a number from 1 to %1, not \"%2\".").arg(kMaxJobs).arg(parser.value(o.jobs));
    }
    if (o.anyShardOption(parser))
        return readShard(parser, o, request);
    return QString();
}

QString readConvertOptions(const QCommandLineParser& parser, const Options& o, CommandLineRequest* request)
{
    if (!request->options.setGroupingName(parser.value(o.grouping)))
        return tr("--grouping must be none, root or take, not \"%1\".").arg(parser.value(o.grouping));
    if (!request->options.setCullingName(parser.value(o.culling)))
        return tr("--culling must be off, ccw, cw or material, not \"%1\".").arg(parser.value(o.culling));
    request->outputFolder = parser.value(o.outputDir);
    request->reportFile = parser.value(o.report);
    request->force = parser.isSet(o.force);
    request->quiet = parser.isSet(o.quiet);
    return readBatchOptions(parser, o, request);
}

CommandLineRequest::Mode modeOf(const QCommandLineParser& parser, const Options& o, QString* error)
{
    if (parser.isSet(o.help))
        return CommandLineRequest::Mode::Help;
    if (parser.isSet(o.version))
        return CommandLineRequest::Mode::Version;
    const int modes = int(parser.isSet(o.convert)) + int(parser.isSet(o.thumbnail)) + int(parser.isSet(o.info))
        + int(parser.isSet(o.mergeReports));
    if (modes > 1)
        *error = tr("Choose one of --convert, --thumbnail, --info and --merge-reports.");
    if (parser.isSet(o.mergeReports))
        return CommandLineRequest::Mode::MergeReports;
    if (parser.isSet(o.thumbnail))
        return CommandLineRequest::Mode::Thumbnail;
    if (parser.isSet(o.info))
        return CommandLineRequest::Mode::Info;
    return parser.isSet(o.convert) ? CommandLineRequest::Mode::Convert : CommandLineRequest::Mode::Window;
}

// The options Qt itself takes for a window (with one dash or two).
bool isWindowOption(const char* argument)
{
    static const char* const kQtOptions[] = {"platform",
                                             "platformpluginpath",
                                             "platformtheme",
                                             "plugin",
                                             "qwindowgeometry",
                                             "qwindowicon",
                                             "qwindowtitle",
                                             "reverse",
                                             "session",
                                             "display",
                                             "geometry",
                                             "style",
                                             "stylesheet",
                                             "widgetcount",
                                             "nograb",
                                             "dograb",
                                             "sync",
                                             "qmljsdebugger"};
    const char* name = argument + (std::strncmp(argument, "--", 2) == 0 ? 2 : 1);
    const size_t length = std::strcspn(name, "=");
    for (const char* option : kQtOptions) {
        if (std::strlen(option) == length && std::strncmp(name, option, length) == 0)
            return true;
    }
    return false;
}

} // namespace

bool CommandLineRequest::wantsConsoleMode(int argc, char** argv)
{
    // Every option but Qt's own belongs to a console mode: a mistyped mode
    // must not open a window (or fail for want of a display) but be told
    // what is wrong with it.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (argv[i][0] == '-' && argv[i][1] != '\0' && !isWindowOption(argv[i]))
            return true;
    }
    return false;
}

CommandLineRequest CommandLineRequest::parse(QStringList arguments)
{
    CommandLineRequest request;
    QCommandLineParser parser;
    const Options o;
    o.addTo(parser);
    if (!parser.parse(splitModeValues(arguments))) {
        request.error = parser.errorText();
        return request;
    }
    request.mode = modeOf(parser, o, &request.error);
    request.arguments = parser.positionalArguments();
    request.json = parser.isSet(o.json);
    request.tree = parser.isSet(o.tree);
    request.verbose = parser.isSet(o.verbose);
    if (!request.error.isEmpty() || request.mode == Mode::Window || request.mode == Mode::Help
        || request.mode == Mode::Version)
        return request;
    if (request.mode == Mode::Convert)
        request.error = readConvertOptions(parser, o, &request);
    else if (parser.isSet(o.outputDir) || parser.isSet(o.jobs) || o.anyShardOption(parser) || parser.isSet(o.force)
             || parser.isSet(o.timeout))
        request.error = tr("--output-dir, -j, --shard, --timeout and --force belong to --convert.");
    if (request.error.isEmpty())
        request.error = modeError(request);
    return request;
}

QString CommandLineRequest::helpText()
{
    QCommandLineParser parser;
    const Options o;
    o.addTo(parser);
    const QString optionList = parser.helpText().mid(parser.helpText().indexOf(QLatin1String("Options:")));
    return tr("Usage: Velmora3dEncoder [FILE]                     open the window (and FILE)\n"
              "       Velmora3dEncoder --convert [options] INPUT OUTPUT.vm3\n"
              "       Velmora3dEncoder --convert [options] --output-dir DIR INPUT...\n"
              "       Velmora3dEncoder --thumbnail INPUT OUTPUT.png SIZE\n"
              "       Velmora3dEncoder --info [--json] FILE\n"
              "       Velmora3dEncoder --merge-reports MERGED REPORT...\n"
              "       Velmora3dEncoder --help | --version\n"
              "\n"
              "Velmora 3D Encoder converts 3D models (%1) into vm3 files.\n"
              "Options may stand before or after the arguments, in any order.\n"
              "\n"
              "--convert converts INPUT into OUTPUT.vm3, or with --output-dir every INPUT file and every\n"
              "model below every INPUT folder into DIR/<path below the folder>/<name>.vm3. It prints the\n"
              "model encoder's warnings and errors (and, for several inputs, one line per finished file)\n"
              "to standard error and nothing to standard output. Up-to-date outputs are skipped.\n"
              "Grouping and culling are the built-in defaults unless given, whatever the window's\n"
              "menus say, so the same command gives the same container on every machine.\n"
              "SIGTERM and SIGINT stop the conversions and remove their temporary files.\n"
              "--thumbnail draws the model of INPUT (a vm3 file or any model file, converted first) as the\n"
              "perspective preview, SIZE x SIZE pixels (up to 4096), as PNG; a vm3 file whose own preview\n"
              "is at least that large gives it, scaled. It writes nothing and fails when neither can be had.\n"
              "--info prints the nodes, meshes (each with its parts), skins, materials (each with its\n"
              "textures), animations, bounds and active camera\n"
              "of a model (a vm3 file, any model file, converted first, a model folder or a .gpb file).\n"
              "--merge-reports writes the reports of all shards of a run as one and fails, naming it, when\n"
              "a shard is missing or twice, the reports are of different inputs or records are missing.\n"
              "\n"
              "Exit codes: 0 success, 1 wrong arguments, 2 input missing or unsupported, 3 model encoder\n"
              "missing or failed, 4 vm3 file refused (or without a preview), 5 output not writable.\n"
              "For several inputs, the highest code of the inputs that failed.\n"
              "\n")
               .arg(ModelFileTypes::suffixListText())
        + optionList;
}
