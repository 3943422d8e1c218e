#pragma once

// TZelkServerBrowser: the OPC servers of one computer for one transport, as an ordered
// list of TZelkServerItem, one per server class. It asks the transport's server
// enumerator to report every server and merges reports of the same class.

#include "Component.h"
#include "ZelkTransport.h"
#include "ZelkTypes.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

// The server kinds as flags (member i = 1 << i), for the text form of a published set.
// The names are the stored ones; scoped, so that no `using` puts a flag value where a
// server kind is meant.
namespace ZelkServerKindFlags {
Q_NAMESPACE
enum class tZelkServerKindFlag : std::uint32_t {
    svr_DA10 = 1u << ZelkEnums::svr_DA10,
    svr_DA20 = 1u << ZelkEnums::svr_DA20,
    svr_DA30 = 1u << ZelkEnums::svr_DA30,
    svr_AE10 = 1u << ZelkEnums::svr_AE10,
    svr_BA10 = 1u << ZelkEnums::svr_BA10,
    svr_BA20 = 1u << ZelkEnums::svr_BA20,
    svr_DX10 = 1u << ZelkEnums::svr_DX10,
    svr_HDA10 = 1u << ZelkEnums::svr_HDA10,
    svr_UA = 1u << ZelkEnums::svr_UA,
};
Q_DECLARE_FLAGS(tZelkServerKindFlags, tZelkServerKindFlag)
Q_FLAG_NS(tZelkServerKindFlags)
} // namespace ZelkServerKindFlags

// One server class.
class TZelkServerItem : public TObject {
public:
    // The browser's ComputerName when the item was made.
    const QString& Computername() const noexcept { return FComputerName; }
    const QString& ServerCaption() const noexcept { return FCaption; }
    // ProgID (COM) or server name.
    const QString& ServerName() const noexcept { return FName; }
    // Class id text (COM) or endpoint URL (UA): the item's identity.
    const QString& ServerClsId() const noexcept { return FClsId; }
    // Every kind reported for this class.
    tZelkServerSet ServerType() const noexcept { return FServerType; }
    // Free for the caller.
    std::int32_t Tag() const noexcept { return FTag; }
    void SetTag(std::int32_t Value) noexcept { FTag = Value; }

private:
    friend class TZelkServerBrowser;

    QString FComputerName;
    QString FCaption;
    QString FName;
    QString FClsId;
    tZelkServerSet FServerType;
    std::int32_t FTag = 0;
};

class TZelkServerBrowserEnumerator;

class TZelkServerBrowser : public TComponent {
    Q_OBJECT
    Q_PROPERTY(ZelkServerKindFlags::tZelkServerKindFlags Servertype READ ServertypeFlags WRITE
                   SetServertypeFlags)
    Q_PROPERTY(QString ComputerName READ ComputerName WRITE SetComputerName)
    Q_PROPERTY(ZelkEnums::tZelkConnectionType Protocol READ Protocol WRITE SetProtocol)
    Q_CLASSINFO("default:Servertype", "[svr_DA10, svr_DA20, svr_DA30]")
    Q_CLASSINFO("default:Protocol", "coCOM")

public:
    explicit TZelkServerBrowser(TComponent* AOwner = nullptr);
    ~TZelkServerBrowser() override;

    // ---- published ----
    tZelkServerSet Servertype() const noexcept { return FServertype; }
    void SetServertype(tZelkServerSet Value) noexcept { FServertype = Value; }
    const QString& ComputerName() const noexcept { return FComputerName; }
    void SetComputerName(const QString& Value) { FComputerName = Value; }
    tZelkConnectionType Protocol() const noexcept { return FConnection; }
    // An unregistered transport raises "Protocol not supported add …" and changes
    // nothing. At design time a new protocol also resets Servertype to that transport's
    // kinds.
    void SetProtocol(tZelkConnectionType Value);

    // ---- public ----
    const QString& ProxyUA() const noexcept { return FProxy; }
    void SetProxyUA(const QString& Value) { FProxy = Value; }

    int Count() const noexcept { return static_cast<int>(FServerList.size()); }
    // EListError "List index out of bounds (%d)" outside 0..Count-1.
    TZelkServerItem* Items(int Index) const;
    // Puts `Value` into position `Index`; the list owns it from now on. The item that
    // was there is handed back to the caller, who owns it now.
    std::unique_ptr<TZelkServerItem> SetItems(int Index, std::unique_ptr<TZelkServerItem> Value);

    // Replaces the list by the servers the transport's enumerator reports (with each
    // server's kinds when WithTypes). The enumerator's exceptions pass; what it reported
    // before stays listed.
    void Execute(bool WithTypes);
    // ComputerName := Computername, then Execute(true).
    void GetOPCServers(const QString& Computername);
    // Line i of the list is the caption, name or class id of item i.
    void GetServerCaptions(QStringList& Namelist) const;
    void GetServerNames(QStringList& Namelist) const;
    void GetServerClsIds(QStringList& Namelist) const;
    // Index of the first item with exactly this text (case-sensitive), or -1.
    int FindByServerName(const QString& ServerName) const;
    int FindByClassId(const QString& ClassId) const;
    // By server name first, then by class id.
    int FindServer(const QString& ServerName) const;
    // A new enumerator over the list, owned by the caller.
    std::unique_ptr<TZelkServerBrowserEnumerator> GetEnumerator() const;
    // Frees every item, last first.
    void Clear();

private:
    ZelkServerKindFlags::tZelkServerKindFlags ServertypeFlags() const;
    void SetServertypeFlags(ZelkServerKindFlags::tZelkServerKindFlags Value);
    void AddServer(const QString& Caption, const QString& Name, const QString& ClsId,
                   tZelkServerSet ServerType);
    TZelkServerItem* ItemByClsId(const QString& ClsId) const;

    std::vector<std::unique_ptr<TZelkServerItem>> FServerList;
    tZelkServerSet FServertype{tZelkServerKind::svr_DA10, tZelkServerKind::svr_DA20,
                               tZelkServerKind::svr_DA30};
    QString FComputerName;
    tZelkConnectionType FConnection = tZelkConnectionType::coCOM;
    // Held only while Execute runs.
    ComPtr<IZelkServerBrowser> FBrowser;
    QString FProxy;
};

// Walks a browser's list: MoveNext, then Current.
class TZelkServerBrowserEnumerator : public TObject {
public:
    explicit TZelkServerBrowserEnumerator(const TZelkServerBrowser* AList) : FList(AList) {}

    // Advances while there is a next item; false (staying put) at the end.
    bool MoveNext();
    TZelkServerItem* GetCurrent() const { return FList->Items(FIndex); }
    TZelkServerItem* Current() const { return GetCurrent(); }

private:
    std::int32_t FIndex = -1;
    const TZelkServerBrowser* FList; // not owned
};
