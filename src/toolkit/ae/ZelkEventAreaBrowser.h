#pragma once

// TZelkEventAreaBrowser: walks the process-area tree of an OPC AE server through its
// IOPCEventAreaBrowser. It keeps the current position as the path of area names from
// the root, lists the areas or sources below it (optionally restricted by a filter
// pattern), and turns a short name of the last listing into its fully qualified name.
//
// The server's browser object is made on first use and kept until the event server
// changes. Everything runs on the user-interface thread.

#include "Component.h"
#include "comptr.h"
#include "opc_ae.h"

#include <QString>
#include <QStringList>

class TZelkEventServer;

class TZelkEventAreaBrowser : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)

public:
    explicit TZelkEventAreaBrowser(TComponent* AOwner = nullptr);
    ~TZelkEventAreaBrowser() override;

    // Each move returns whether the server accepted it and never raises for a refusal.
    // A refused MoveDown leaves the path as it was; the other moves set the path all the
    // same, as their names say.
    bool MoveDown(const QString& AreaName);
    // AreaName is split at every "." into the levels of the new path.
    bool Moveto(const QString& AreaName);
    bool MovetoRoot();
    bool Moveup();
    // List the areas or the sources at the current position into Items. A failing
    // listing raises and leaves Items empty.
    void ShowAreas();
    void ShowSources();
    // The fully qualified name of an area (after ShowAreas) or source (after ShowSources,
    // or before any listing).
    QString GetItemId(const QString& ItemName);

    // The path's names joined with "."; empty at the root.
    QString CurrentPosition() const;
    const QStringList& CurrentPath() const noexcept { return FAreaList; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    const QStringList& Items() const noexcept { return FItems; }
    // The pattern every listing passes to the server; empty lists everything.
    const QString& Filter() const noexcept { return FFilter; }
    void SetFilter(const QString& Value) { FFilter = Value; }

    TZelkEventServer* OPCServer() const noexcept { return FOPCServer; }
    // Resets the path and the listing and lets the held browser object go, also when
    // Value is the server already set; nothing is asked of the server.
    void SetOPCServer(TZelkEventServer* Value);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // The server's browser object, made on first use. "first define server object"
    // without an event server, "Browser interface not found" when it offers none.
    IOPCEventAreaBrowser* GetBrowser();
    bool ChangePosition(OPCAEBROWSEDIRECTION Direction, const QString& Name);
    void Browse(OPCAEBROWSETYPE Kind);

    QStringList FItems;
    QStringList FAreaList;
    // Not owned; cleared by SetOPCServer(nullptr) and by the removal notification.
    TZelkEventServer* FOPCServer = nullptr;
    ComPtr<IOPCEventAreaBrowser> FBrowser;
    QString FFilter;
    std::int32_t FLastType = 0;
};
