// The table of the suite's data sources and the setup server's event names.
#include "busnames/BusNames.h"

namespace ov {

std::string_view SetupEventName(int event) {
    static constexpr std::array<std::string_view, 5> names{
        "OnSetupChanged", "OnRefreshRequest", "OnShutdown", "OnHeartBeat", "OnItemChange"};
    return event >= seSetupChanged && event <= seItemChange
               ? names[static_cast<std::size_t>(event - seSetupChanged)]
               : std::string_view();
}

const std::array<TDataSource, 4>& DataSources() {
    static const std::array<TDataSource, 4> sources{{
        {dsDecoder,
         "decoder",
         "OVDecode.OVDecodeCom",
         "/OVDecodeCom",
         "OVDecode.IOVDecodeCom",
         "OVDecode.IOVDecodeComEvents",
         IOVDecodeComAppID,
         "TOVDecoderForm",
         {"$GOESTIMED", "$GOESRANDOM"}},
        {dsMDecoder,
         "mdecoder",
         "OVMDecode.OVMDecodeCom",
         "/OVMDecodeCom",
         "OVDecode.IOVDecodeCom",
         "OVDecode.IOVDecodeComEvents",
         IOVDecodeComAppID,
         "TOVMDecoderForm",
         {"$GOESTIMED", "$GOESRANDOM"}},
        {dsRtu,
         "rtu",
         "OVRtu.OVRtuCOM",
         "/OVRtuCOM",
         "OVRtu.IOVRtuDataCOM",
         "OVRtu.IOVRtuDataCOMEvents",
         IOVRtuDataCOMAppID,
         "TOVRtuServeForm",
         {"$REALTIME", "$TIMETAG"}},
        {dsMBRtu,
         "mbrtu",
         "OVMBRtu.OVMBRTUCOM",
         "/OVMBRTUCOM",
         "OVMBRtu.IOVMBRTUDataCOM",
         "OVMBRtu.IOVMBRTUDataCOMEvents",
         IOVMBRTUDataCOMAppID,
         "TFrm_RTUMain",
         {"$REALTIME", "$TIMETAG"}},
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
