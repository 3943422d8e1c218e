#include "MonitorListing.h"

#include "MonitorSession.h"
#include "ZelkEventAreaBrowser.h"
#include "ZelkJsonText.h"
#include "ZelkServerList.h"

namespace zelk::monitor {

using zelk::ae::AppendJsonNumber;
using zelk::ae::AppendJsonString;

namespace {

// A server whose tree is deeper than this is cut off there: a browser that keeps
// accepting moves down cannot make the walk go on for ever.
constexpr int MaxBrowseDepth = 32;

void AppendText(std::string& out, const QString& text) {
    out += text.toUtf8().toStdString();
}

void AppendServerLines(std::string& out, const TZelkServerBrowser& servers, TMonitorFormat format) {
    qsizetype captionWidth = 0;
    qsizetype nameWidth = 0;
    for (int i = 0; i < servers.Count(); ++i) {
        captionWidth = std::max(captionWidth, servers.Items(i)->ServerCaption().size());
        nameWidth = std::max(nameWidth, servers.Items(i)->ServerName().size());
    }
    for (int i = 0; i < servers.Count(); ++i) {
        const TZelkServerItem* item = servers.Items(i);
        if (format == TMonitorFormat::JsonLines) {
            out += "{\"caption\":";
            AppendJsonString(out, item->ServerCaption());
            out += ",\"progId\":";
            AppendJsonString(out, item->ServerName());
            out += ",\"classId\":";
            AppendJsonString(out, item->ServerClsId());
            out += "}\n";
            continue;
        }
        AppendText(out, item->ServerCaption().leftJustified(captionWidth));
        out += "  ";
        AppendText(out, item->ServerName().leftJustified(nameWidth));
        out += "  ";
        AppendText(out, item->ServerClsId());
        out.push_back('\n');
    }
}

struct TTreeWriter {
    TZelkEventAreaBrowser& Browser;
    TMonitorOutput& Output;
    TMonitorFormat Format;

    void Entry(const char* kind, const QString& name, const QString& qualified, int depth) {
        std::string& out = Output.Buffer();
        if (Format == TMonitorFormat::JsonLines) {
            out += "{\"type\":\"";
            out += kind;
            out += "\",\"name\":";
            AppendJsonString(out, name);
            out += ",\"qualifiedName\":";
            AppendJsonString(out, qualified);
            out += ",\"depth\":";
            AppendJsonNumber(out, std::int64_t{depth});
            out += "}\n";
            return;
        }
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
        out += kind[0] == 'a' ? "+ " : "- ";
        AppendText(out, name);
        out += " (";
        AppendText(out, qualified);
        out += ")\n";
    }

    // The areas and sources below the browser's position; the position is the same
    // again on return.
    void Walk(int depth) {
        Browser.ShowAreas();
        const QStringList areas = Browser.Items();
        QStringList areaIds;
        for (const QString& area : areas)
            areaIds << Browser.GetItemId(area);
        Browser.ShowSources();
        const QStringList sources = Browser.Items();
        QStringList sourceIds;
        for (const QString& source : sources)
            sourceIds << Browser.GetItemId(source);

        for (qsizetype i = 0; i < areas.size(); ++i) {
            Entry("area", areas[i], areaIds[i], depth);
            if (depth + 1 < MaxBrowseDepth && Browser.MoveDown(areas[i])) {
                Walk(depth + 1);
                Browser.Moveup();
            }
        }
        for (qsizetype i = 0; i < sources.size(); ++i)
            Entry("source", sources[i], sourceIds[i], depth);
        if (Output.Full())
            Output.Flush();
    }
};

} // namespace

int ListServers(const TMonitorOptions& options, TMonitorOutput& output, QString& errorText) {
    TZelkServerBrowser servers;
    servers.SetServertype(tZelkServerSet{tZelkServerKind::svr_AE10});
    try {
        servers.GetOPCServers(options.ComputerName);
    } catch (const Exception& e) {
        errorText = e.Message();
        return ExitUnavailable;
    }
    AppendServerLines(output.Buffer(), servers, options.Format);
    if (!output.Flush() && !output.BrokenPipe()) {
        errorText = QStringLiteral("cannot write to standard output: %1").arg(output.ErrorText());
        return ExitIoError;
    }
    return ExitOk;
}

int BrowseAreas(const TMonitorOptions& options, TMonitorOutput& output, QString& errorText) {
    TZelkEventServer server;
    ConfigureEventServer(server, options);
    // An inactive filter instead of the "Default" one: a listing wants no notifications.
    server.Filter()->Add()->SetActive(false);
    int status = ExitOk;
    try {
        server.SetActive(true);
        TTreeWriter writer{*server.Browser(), output, options.Format};
        server.Browser()->MovetoRoot();
        writer.Walk(0);
    } catch (const Exception& e) {
        errorText = e.Message();
        status = ExitUnavailable;
    }
    try {
        server.SetActive(false);
    } catch (const Exception&) {
        // The listing is complete; a failing release does not change it.
    }
    if (!output.Flush() && !output.BrokenPipe() && status == ExitOk) {
        errorText = QStringLiteral("cannot write to standard output: %1").arg(output.ErrorText());
        status = ExitIoError;
    }
    return status;
}

} // namespace zelk::monitor
