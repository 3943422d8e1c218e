#pragma once

// The OPC server enumerator (OPCEnum) class and the component categories under which
// OPC servers register themselves. The enumerator's interfaces (IOPCServerList,
// IOPCServerList2, IOPCEnumGUID) are declared in opccomn.h.

#include "comtypes.h"
#include "opccomn.h"

inline constexpr CLSID CLSID_OpcServerList = ZelkGuid("13486D51-4821-11D2-A494-3CB306C10000");

inline constexpr CATID CATID_OPCDAServer10 = ZelkGuid("63D5F430-CFE4-11D1-B2C8-0060083BA1FB");
inline constexpr CATID CATID_OPCDAServer20 = ZelkGuid("63D5F432-CFE4-11D1-B2C8-0060083BA1FB");
inline constexpr CATID CATID_OPCDAServer30 = ZelkGuid("CC603642-66D7-48F1-B69A-B625E73652D7");
inline constexpr CATID CATID_OPCBatchServer10 = ZelkGuid("A8080DA0-E23E-11D2-AFA7-00C04F539421");
inline constexpr CATID CATID_OPCBatchServer20 = ZelkGuid("843DE67B-B0C9-11D4-A0B7-000102A980B1");
inline constexpr CATID CATID_OPCDXServer10 = ZelkGuid("A0C85BB8-4161-4FD6-8655-BB584601C9E0");
inline constexpr CATID CATID_OPCHDAServer10 = ZelkGuid("7DE5B060-E089-11D2-A5E6-000086339399");
inline constexpr CATID CATID_OPCAEServer10 = ZelkGuid("58E13251-AC87-11D1-84D5-00608CB8A7E9");

// The descriptions under which the categories are registered with the component
// categories manager.
inline constexpr const OLECHAR* OPC_CATEGORY_DESCRIPTION_DA10 =
    u"OPC Data Access Servers Version 1.0";
inline constexpr const OLECHAR* OPC_CATEGORY_DESCRIPTION_DA20 =
    u"OPC Data Access Servers Version 2.0";
inline constexpr const OLECHAR* OPC_CATEGORY_DESCRIPTION_DA30 =
    u"OPC Data Access Servers Version 3.0";
inline constexpr const OLECHAR* OPC_CATEGORY_DESCRIPTION_HDA10 =
    u"OPC History Data Access Servers Version 1.0";
inline constexpr const OLECHAR* OPC_CATEGORY_DESCRIPTION_AE10 =
    u"OPC Alarm & Event Server Version 1.0";
