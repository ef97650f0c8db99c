// The table of the suite's data sources and the setup server's event names.
#include "suite/dbus/BusNames.h"

namespace ov {

std::string_view SetupEventName(int event) {
    static constexpr std::array<std::string_view, 5> names{
        "OnSetupChanged", "OnRefreshRequest", "OnShutdown", "OnHeartBeat", "OnItemChange"};
    return event >= 1 && event <= 5 ? names[static_cast<std::size_t>(event - 1)]
                                    : std::string_view();
}

const std::array<TDataSource, 4>& DataSources() {
    static constexpr std::string_view decodeAppID = "{C75F696C-07A5-422E-BE99-3AFCB281C367}";
    static const std::array<TDataSource, 4> sources{{
        {dsDecoder, "decoder", "OVDecode.OVDecodeCom", "/OVDecodeCom", "OVDecode.IOVDecodeCom",
         "OVDecode.IOVDecodeComEvents", decodeAppID, "TOVDecoderForm",
         {"$GOESTIMED", "$GOESRANDOM"}},
        {dsMDecoder, "mdecoder", "OVMDecode.OVMDecodeCom", "/OVMDecodeCom",
         "OVDecode.IOVDecodeCom", "OVDecode.IOVDecodeComEvents", decodeAppID,
         "TOVMDecoderForm", {"$GOESTIMED", "$GOESRANDOM"}},
        {dsRtu, "rtu", "OVRtu.OVRtuCOM", "/OVRtuCOM", "OVRtu.IOVRtuDataCOM",
         "OVRtu.IOVRtuDataCOMEvents", "{7552BE47-EFFF-47F1-8EEA-BD38F2B70761}",
         "TOVRtuServeForm", {"$REALTIME", "$TIMETAG"}},
        {dsMBRtu, "mbrtu", "OVMBRtu.OVMBRTUCOM", "/OVMBRTUCOM", "OVMBRtu.IOVMBRTUDataCOM",
         "OVMBRtu.IOVMBRTUDataCOMEvents", "{FBFBD7FC-253B-4A4F-BA6F-9E9FE28B3B1B}",
         "TFrm_RTUMain", {"$REALTIME", "$TIMETAG"}},
    }};
    return sources;
}

const TDataSource& DataSource(TDataSourceKind kind) {
    return DataSources()[static_cast<std::size_t>(kind)];
}

const TDataSource* FindDataSource(std::string_view option) {
    for (const auto& source : DataSources()) {
        if (source.Option == option) return &source;
    }
    return nullptr;
}

}  // namespace ov
