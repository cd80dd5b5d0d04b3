#include "diag/signalling_names.h"

#include <algorithm>
#include <array>
#include <optional>

namespace norvane {
namespace {

using Names = std::span<const std::string_view>;

// Reads a PDU's bits, most significant first.
class Bits {
  public:
    explicit Bits(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    // The next `n` bits (at most 16), or nothing when the PDU ends before them.
    std::optional<std::uint32_t> Read(unsigned n) {
        if (at_ + n > bytes_.size() * 8) {
            return std::nullopt;
        }
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i, ++at_) {
            v = (v << 1) | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1U);
        }
        return v;
    }
    // Passes over `n` bits; false when the PDU ends before them.
    bool Skip(std::size_t n) {
        if (at_ + n > bytes_.size() * 8) {
            return false;
        }
        at_ += n;
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// One CHOICE of a channel's message type: reached by the `prefixBits` bits `prefix` (the
// branches taken to it), its index of `indexBits` bits picks a name; an index beyond `names` is
// a spare.
struct Choice {
    std::uint16_t prefix;
    std::uint8_t prefixBits;
    std::uint8_t indexBits;
    Names names;
};
using Choices = std::span<const Choice>;

// The name the first bits of `bits` choose, or "" when none.
std::string_view Choose(Choices choices, Bits bits) {
    for (const Choice& c : choices) {
        Bits b = bits;
        const auto prefix = b.Read(c.prefixBits);
        const auto index = b.Read(c.indexBits);
        if (prefix && index && *prefix == c.prefix && *index < c.names.size()) {
            return c.names[*index];
        }
    }
    return {};
}

// --- LTE RRC (36.331 as Wireshark 4.0 knows it).
constexpr std::string_view kLteBcchBch[] = {"MasterInformationBlock"};
constexpr std::string_view kLteBcchDlSch[] = {"SystemInformation", "SystemInformationBlockType1"};
constexpr std::string_view kLteMcchC1[] = {"MBSFNAreaConfiguration-r9"};
constexpr std::string_view kLteMcchC2[] = {"MBMSCountingRequest-r10"};
constexpr std::string_view kLtePcch[] = {"Paging"};
constexpr std::string_view kLteDlCcchC1[] = {"RRCConnectionReestablishment",
                                             "RRCConnectionReestablishmentReject",
                                             "RRCConnectionReject", "RRCConnectionSetup"};
constexpr std::string_view kLteDlCcchC2[] = {"RRCEarlyDataComplete-r15"};
constexpr std::string_view kLteDlDcchC1[] = {"CSFBParametersResponseCDMA2000",
                                             "DLInformationTransfer",
                                             "HandoverFromEUTRAPreparationRequest",
                                             "MobilityFromEUTRACommand",
                                             "RRCConnectionReconfiguration",
                                             "RRCConnectionRelease",
                                             "SecurityModeCommand",
                                             "UECapabilityEnquiry",
                                             "CounterCheck",
                                             "UEInformationRequest-r9",
                                             "LoggedMeasurementConfiguration-r10",
                                             "RNReconfiguration-r10",
                                             "RRCConnectionResume-r13",
                                             "DLDedicatedMessageSegment-r16"};
constexpr std::string_view kLteUlCcchC1[] = {"RRCConnectionReestablishmentRequest",
                                             "RRCConnectionRequest"};
constexpr std::string_view kLteUlCcchC2[] = {"RRCConnectionResumeRequest-r13"};
constexpr std::string_view kLteUlCcchC3[] = {"RRCEarlyDataRequest-r15"};
constexpr std::string_view kLteUlDcchC1[] = {"CSFBParametersRequestCDMA2000",
                                             "MeasurementReport",
                                             "RRCConnectionReconfigurationComplete",
                                             "RRCConnectionReestablishmentComplete",
                                             "RRCConnectionSetupComplete",
                                             "SecurityModeComplete",
                                             "SecurityModeFailure",
                                             "UECapabilityInformation",
                                             "ULHandoverPreparationTransfer",
                                             "ULInformationTransfer",
                                             "CounterCheckResponse",
                                             "UEInformationResponse-r9",
                                             "ProximityIndication-r9",
                                             "RNReconfigurationComplete-r10",
                                             "MBMSCountingResponse-r10",
                                             "InterFreqRSTDMeasurementIndication-r10"};
constexpr std::string_view kLteUlDcchC2[] = {
    "UEAssistanceInformation-r11",     "InDeviceCoexIndication-r11",
    "MBMSInterestIndication-r11",      "SCGFailureInformation-r12",
    "SidelinkUEInformation-r12",       "WLANConnectionStatusReport-r13",
    "RRCConnectionResumeComplete-r13", "ULInformationTransferMRDC-r15",
    "SCGFailureInformationNR-r15",     "MeasReportAppLayer-r15",
    "FailureInformation-r15",          "ULDedicatedMessageSegment-r16",
    "PURConfigurationRequest-r16",     "FailureInformation-r16",
    "MCGFailureInformation-r16",       "ULInformationTransferIRAT-r16"};

// Prefix bits: 0 c1, 1 messageClassExtension (or "later"); inside it 0 c2, 1 its extension.
constexpr Choice kLteBcchBchChoices[] = {{0, 0, 0, kLteBcchBch}};
constexpr Choice kLteBcchDlSchChoices[] = {{0b0, 1, 1, kLteBcchDlSch}};
constexpr Choice kLteMcchChoices[] = {{0b0, 1, 0, kLteMcchC1}, {0b10, 2, 0, kLteMcchC2}};
constexpr Choice kLtePcchChoices[] = {{0b0, 1, 0, kLtePcch}};
constexpr Choice kLteDlCcchChoices[] = {{0b0, 1, 2, kLteDlCcchC1}, {0b10, 2, 2, kLteDlCcchC2}};
constexpr Choice kLteDlDcchChoices[] = {{0b0, 1, 4, kLteDlDcchC1}};
constexpr Choice kLteUlCcchChoices[] = {
    {0b0, 1, 1, kLteUlCcchC1}, {0b10, 2, 0, kLteUlCcchC2}, {0b110, 3, 2, kLteUlCcchC3}};
constexpr Choice kLteUlDcchChoices[] = {{0b0, 1, 4, kLteUlDcchC1}, {0b10, 2, 4, kLteUlDcchC2}};

// The UL-DCCH messages that can carry an NR message: ULInformationTransferMRDC-r15 and
// ULInformationTransferIRAT-r16 (messageClassExtension, c2, indexes 7 and 15).
constexpr std::uint32_t kLteUlDcchNrCarriers[] = {0b10'0111, 0b10'1111};
constexpr unsigned kLteUlDcchNrCarrierBits = 6;

// --- NR UL-DCCH (38.331), as an ULInformationTransferMRDC-r15 carries it.
constexpr std::string_view kNrUlDcchC1[] = {"Measurement Report",
                                            "RRC Reconfiguration Complete",
                                            "RRC Setup Complete",
                                            "RRC Reestablishment Complete",
                                            "RRC Resume Complete",
                                            "Security Mode Complete",
                                            "Security Mode Failure",
                                            "UL Information Transfer",
                                            "Location Measurement Indication",
                                            "UE Capability Information",
                                            "Counter Check Response",
                                            "UE Assistance Information",
                                            "Failure Information",
                                            "UL Information Transfer MRDC",
                                            "SCG Failure Information",
                                            "SCG Failure Information EUTRA"};
constexpr std::string_view kNrUlDcchC2[] = {
    "UL Dedicated MessageSegment", "Dedicated SIB Request",      "MCG Failure Information",
    "UE Information Response",     "Sidelink UE Information NR", "UL Information Transfer IRAT",
    "IAB Other Information",       "MBS Interest Indication",    "UE Positioning Assistance Info",
    "Measurement Report App Layer"};
constexpr Choice kNrUlDcchChoices[] = {{0b0, 1, 4, kNrUlDcchC1}, {0b10, 2, 4, kNrUlDcchC2}};

// --- WCDMA RRC (25.331 as Wireshark 4.0 knows it).
constexpr std::string_view kWcdmaDlDcch[] = {"ActiveSetUpdate",
                                             "AssistanceDataDelivery",
                                             "CellChangeOrderFromUTRAN",
                                             "CellUpdateConfirm",
                                             "CounterCheck",
                                             "DownlinkDirectTransfer",
                                             "HandoverFromUTRANCommand-GSM",
                                             "HandoverFromUTRANCommand-CDMA2000",
                                             "MeasurementControl",
                                             "PagingType2",
                                             "PhysicalChannelReconfiguration",
                                             "PhysicalSharedChannelAllocation",
                                             "RadioBearerReconfiguration",
                                             "RadioBearerRelease",
                                             "RadioBearerSetup",
                                             "RRCConnectionRelease",
                                             "SecurityModeCommand",
                                             "SignallingConnectionRelease",
                                             "TransportChannelReconfiguration",
                                             "TransportFormatCombinationControl",
                                             "UECapabilityEnquiry",
                                             "UECapabilityInformationConfirm",
                                             "UplinkPhysicalChannelControl",
                                             "URAUpdateConfirm",
                                             "UTRANMobilityInformation",
                                             "HandoverFromUTRANCommand-GERANIu",
                                             "MBMSModifiedServicesInformation",
                                             "ETWSPrimaryNotificationWithSecurity",
                                             "HandoverFromUTRANCommand-EUTRA",
                                             "UEInformationRequest",
                                             "LoggingMeasurementConfiguration"};
constexpr std::string_view kWcdmaUlDcch[] = {"ActiveSetUpdateComplete",
                                             "ActiveSetUpdateFailure",
                                             "CellChangeOrderFromUTRANFailure",
                                             "CounterCheckResponse",
                                             "HandoverToUTRANComplete",
                                             "InitialDirectTransfer",
                                             "HandoverFromUTRANFailure",
                                             "MeasurementControlFailure",
                                             "MeasurementReport",
                                             "PhysicalChannelReconfigurationComplete",
                                             "PhysicalChannelReconfigurationFailure",
                                             "RadioBearerReconfigurationComplete",
                                             "RadioBearerReconfigurationFailure",
                                             "RadioBearerReleaseComplete",
                                             "RadioBearerReleaseFailure",
                                             "RadioBearerSetupComplete",
                                             "RadioBearerSetupFailure",
                                             "RRCConnectionReleaseComplete",
                                             "RRCConnectionSetupComplete",
                                             "RRCStatus",
                                             "SecurityModeComplete",
                                             "SecurityModeFailure",
                                             "SignallingConnectionReleaseIndication",
                                             "TransportChannelReconfigurationComplete",
                                             "TransportChannelReconfigurationFailure",
                                             "TransportFormatCombinationControlFailure",
                                             "UECapabilityInformation",
                                             "UplinkDirectTransfer",
                                             "UTRANMobilityInformationConfirm",
                                             "UTRANMobilityInformationFailure",
                                             "MBMSModificationRequest"};
constexpr std::string_view kWcdmaUlDcchExtension[] = {"UEInformationResponse"};
constexpr std::string_view kWcdmaDlCcch[] = {
    "CellUpdateConfirm-CCCH", "RRCConnectionReject",   "RRCConnectionRelease-CCCH",
    "RRCConnectionSetup",     "URAUpdateConfirm-CCCH", "ETWSPrimaryNotificationWithSecurity"};
constexpr std::string_view kWcdmaUlCcch[] = {"CellUpdate", "RRCConnectionRequest", "URAUpdate"};
constexpr std::string_view kWcdmaUlCcchExtension[] = {"CellUpdateFDD-r11"};
constexpr std::string_view kWcdmaPcch[] = {"PagingType1"};
constexpr std::string_view kWcdmaBcchFach[] = {"SystemInformation-FACH",
                                               "SystemInformationChangeIndication"};
constexpr std::string_view kWcdmaBcchBch[] = {"SystemInformation-BCH"};
constexpr std::string_view kWcdmaMcch[] = {"MBMSAccessInformation",
                                           "MBMSCommonPTMRBInformation",
                                           "MBMSCurrentCellPTMRBInformation",
                                           "MBMSGeneralInformation",
                                           "MBMSModifiedServicesInformation",
                                           "MBMSNeighbouringCellPTMRBInformation",
                                           "MBMSUnmodifiedServicesInformation"};
constexpr std::string_view kWcdmaMsch[] = {"MBMSSchedulingInformation"};

constexpr Choice kWcdmaDlDcchChoices[] = {{0, 0, 5, kWcdmaDlDcch}};
// Index 31 is an extension: a CHOICE of four bits whose first alternative is the only one.
constexpr Choice kWcdmaUlDcchChoices[] = {{0, 0, 5, kWcdmaUlDcch},
                                          {0b11111'0000, 9, 0, kWcdmaUlDcchExtension}};
constexpr Choice kWcdmaDlCcchChoices[] = {{0, 0, 3, kWcdmaDlCcch}};
// Index 3 is an extension: a CHOICE of two bits whose first alternative is the only one.
constexpr Choice kWcdmaUlCcchChoices[] = {{0, 0, 2, kWcdmaUlCcch},
                                          {0b1100, 4, 0, kWcdmaUlCcchExtension}};
constexpr Choice kWcdmaPcchChoices[] = {{0, 0, 1, kWcdmaPcch}};
constexpr Choice kWcdmaBcchFachChoices[] = {{0, 0, 2, kWcdmaBcchFach}};
constexpr Choice kWcdmaBcchBchChoices[] = {{0, 0, 0, kWcdmaBcchBch}};
constexpr Choice kWcdmaMcchChoices[] = {{0, 0, 4, kWcdmaMcch}};
constexpr Choice kWcdmaMschChoices[] = {{0, 0, 2, kWcdmaMsch}};

// A WCDMA DCCH or CCCH message begins with the presence bit of its integrity check: message
// authentication code (32 bits) and sequence number (4 bits).
constexpr unsigned kWcdmaIntegrityCheckBits = 36;

struct ChannelNames {
    SignallingChannel channel;
    std::string_view name;
    Choices lte;    // empty: not an LTE channel
    Choices wcdma;  // empty: not a WCDMA channel, or none of its messages is named
    bool integrityCheck;
};
constexpr ChannelNames kChannels[] = {
    {SignallingChannel::kBcchBch, "BCCH-BCH", kLteBcchBchChoices, kWcdmaBcchBchChoices, false},
    {SignallingChannel::kBcchDlSch, "BCCH-DL-SCH", kLteBcchDlSchChoices, {}, false},
    {SignallingChannel::kMcch, "MCCH", kLteMcchChoices, kWcdmaMcchChoices, false},
    {SignallingChannel::kPcch, "PCCH", kLtePcchChoices, kWcdmaPcchChoices, false},
    {SignallingChannel::kDlCcch, "DL-CCCH", kLteDlCcchChoices, kWcdmaDlCcchChoices, true},
    {SignallingChannel::kDlDcch, "DL-DCCH", kLteDlDcchChoices, kWcdmaDlDcchChoices, true},
    {SignallingChannel::kUlCcch, "UL-CCCH", kLteUlCcchChoices, kWcdmaUlCcchChoices, true},
    {SignallingChannel::kUlDcch, "UL-DCCH", kLteUlDcchChoices, kWcdmaUlDcchChoices, true},
    {SignallingChannel::kBcchFach, "BCCH-FACH", {}, kWcdmaBcchFachChoices, false},
    {SignallingChannel::kMsch, "MSCH", {}, kWcdmaMschChoices, false},
    {SignallingChannel::kSystemInformationContainer, "System Information Container", {}, {}, false},
    {SignallingChannel::kSib, "SIB", {}, {}, false},
};

const ChannelNames* FindChannel(SignallingChannel channel) {
    const auto* it =
        std::find_if(std::begin(kChannels), std::end(kChannels),
                     [channel](const ChannelNames& c) { return c.channel == channel; });
    return it == std::end(kChannels) ? nullptr : it;
}

struct BlockName {
    WcdmaBlock block;
    std::string_view name;
};
// SIB8, SIB9 and SIB10 left the standard; Wireshark 4.0 names none of them.
constexpr BlockName kWcdmaBlocks[] = {
    {WcdmaBlock::kMib, "MasterInformationBlock"}, {WcdmaBlock::kSib1, "SysInfoType 1"},
    {WcdmaBlock::kSib2, "SysInfoType 2"},         {WcdmaBlock::kSib3, "SysInfoType 3"},
    {WcdmaBlock::kSib4, "SysInfoType 4"},         {WcdmaBlock::kSib5, "SysInfoType 5"},
    {WcdmaBlock::kSib5bis, "SysInfoType 5bis"},   {WcdmaBlock::kSib6, "SysInfoType 6"},
    {WcdmaBlock::kSib7, "SysInfoType 7"},         {WcdmaBlock::kSib11, "SysInfoType 11"},
    {WcdmaBlock::kSib11bis, "SysInfoType 11bis"}, {WcdmaBlock::kSib12, "SysInfoType 12"},
    {WcdmaBlock::kSib13, "SysInfoType 13"},       {WcdmaBlock::kSib13_1, "SysInfoType 13.1"},
    {WcdmaBlock::kSib13_2, "SysInfoType 13.2"},   {WcdmaBlock::kSib13_3, "SysInfoType 13.3"},
    {WcdmaBlock::kSib13_4, "SysInfoType 13.4"},   {WcdmaBlock::kSib14, "SysInfoType 14"},
    {WcdmaBlock::kSib15, "SysInfoType 15"},       {WcdmaBlock::kSib15_1, "SysInfoType 15.1"},
    {WcdmaBlock::kSib15_2, "SysInfoType 15.2"},   {WcdmaBlock::kSib15_3, "SysInfoType 15.3"},
    {WcdmaBlock::kSib15_4, "SysInfoType 15.4"},   {WcdmaBlock::kSib15_5, "SysInfoType 15.5"},
    {WcdmaBlock::kSib16, "SysInfoType 16"},       {WcdmaBlock::kSib17, "SysInfoType 17"},
    {WcdmaBlock::kSib18, "SysInfoType 18"},       {WcdmaBlock::kSib19, "SysInfoType 19"},
    {WcdmaBlock::kSb1, "Scheduling Block 1"},     {WcdmaBlock::kSb2, "Scheduling Block 2"},
};

// --- LTE NAS (24.301).
struct NasName {
    std::uint8_t type;
    std::string_view name;
};
constexpr NasName kEmmNames[] = {
    {0x41, "Attach request"},
    {0x42, "Attach accept"},
    {0x43, "Attach complete"},
    {0x44, "Attach reject"},
    {0x45, "Detach request"},
    {0x46, "Detach accept"},
    {0x48, "Tracking area update request"},
    {0x49, "Tracking area update accept"},
    {0x4A, "Tracking area update complete"},
    {0x4B, "Tracking area update reject"},
    {0x4C, "Extended service request"},
    {0x4D, "Control plane service request"},
    {0x4E, "Service reject"},
    {0x4F, "Service accept"},
    {0x50, "GUTI reallocation command"},
    {0x51, "GUTI reallocation complete"},
    {0x52, "Authentication request"},
    {0x53, "Authentication response"},
    {0x54, "Authentication reject"},
    {0x55, "Identity request"},
    {0x56, "Identity response"},
    {0x5C, "Authentication failure"},
    {0x5D, "Security mode command"},
    {0x5E, "Security mode complete"},
    {0x5F, "Security mode reject"},
    {0x60, "EMM status"},
    {0x61, "EMM information"},
    {0x62, "Downlink NAS transport"},
    {0x63, "Uplink NAS transport"},
    {0x64, "CS service notification"},
    {0x68, "Downlink generic NAS transport"},
    {0x69, "Uplink generic NAS transport"},
};
constexpr NasName kEsmNames[] = {
    {0xC1, "Activate default EPS bearer context request"},
    {0xC2, "Activate default EPS bearer context accept"},
    {0xC3, "Activate default EPS bearer context reject"},
    {0xC5, "Activate dedicated EPS bearer context request"},
    {0xC6, "Activate dedicated EPS bearer context accept"},
    {0xC7, "Activate dedicated EPS bearer context reject"},
    {0xC9, "Modify EPS bearer context request"},
    {0xCA, "Modify EPS bearer context accept"},
    {0xCB, "Modify EPS bearer context reject"},
    {0xCD, "Deactivate EPS bearer context request"},
    {0xCE, "Deactivate EPS bearer context accept"},
    {0xD0, "PDN connectivity request"},
    {0xD1, "PDN connectivity reject"},
    {0xD2, "PDN disconnect request"},
    {0xD3, "PDN disconnect reject"},
    {0xD4, "Bearer resource allocation request"},
    {0xD5, "Bearer resource allocation reject"},
    {0xD6, "Bearer resource modification request"},
    {0xD7, "Bearer resource modification reject"},
    {0xD9, "ESM information request"},
    {0xDA, "ESM information response"},
    {0xDB, "Notification"},
    {0xDC, "ESM dummy message"},
    {0xE8, "ESM status"},
    {0xE9, "Remote UE report"},
    {0xEA, "Remote UE report response"},
    {0xEB, "ESM data transport"},
};

constexpr std::uint8_t kNasEsm = 0x2;  // protocol discriminators (low nibble of octet 1)
constexpr std::uint8_t kNasEmm = 0x7;
constexpr std::uint8_t kNasPlainEmm = 0x07;  // security header type 0, EMM
// EMM security header types (high nibble of octet 1).
constexpr unsigned kNasCiphered = 2;  // and 4: the message inside is unreadable
constexpr unsigned kNasCipheredNewContext = 4;
constexpr unsigned kNasServiceRequestHeader = 12;  // 12..15: a Service request
constexpr std::size_t kNasProtectedMessage = 6;    // after the MAC (4) and sequence number

std::string_view NasTypeName(std::span<const NasName> names, std::uint8_t type) {
    const auto it = std::find_if(names.begin(), names.end(),
                                 [type](const NasName& n) { return n.type == type; });
    return it == names.end() ? std::string_view{} : it->name;
}

// The name of an UL-DCCH message that can carry an NR message, `name`, whose choice bits `bits`
// has just read. Both have the same form: criticalExtensions c1 (0), its one message (00), then
// the presence of the NR message, the E-UTRA message and the non-critical extension, then the
// NR message as an OCTET STRING (length: 0 and 7 bits, or 10 and 14 bits). Wireshark shows the
// NR message's name in place of the LTE one, and no name when the NR message is empty.
std::string_view NrCarrierName(std::string_view name, Bits bits) {
    const auto head = bits.Read(6);
    if (!head || (*head & 0b111'100) != 0b000'100) {
        return name;
    }
    const auto form = bits.Read(1);
    const auto length = form == 0U                         ? bits.Read(7)
                        : form == 1U && bits.Read(1) == 0U ? bits.Read(14)
                                                           : std::nullopt;
    if (!length || *length == 0) {
        return {};
    }
    return Choose(kNrUlDcchChoices, bits);
}

}  // namespace

std::string_view SignallingChannelName(SignallingChannel channel) {
    const ChannelNames* c = FindChannel(channel);
    return c == nullptr ? std::string_view{} : c->name;
}

std::string_view LteRrcMessageName(SignallingChannel channel, std::span<const std::uint8_t> pdu) {
    const ChannelNames* c = FindChannel(channel);
    if (c == nullptr) {
        return {};
    }
    Bits bits(pdu);
    const std::string_view name = Choose(c->lte, bits);
    if (channel == SignallingChannel::kUlDcch) {
        Bits carrier = bits;
        const auto type = carrier.Read(kLteUlDcchNrCarrierBits);
        if (type && std::find(std::begin(kLteUlDcchNrCarriers), std::end(kLteUlDcchNrCarriers),
                              *type) != std::end(kLteUlDcchNrCarriers)) {
            return NrCarrierName(name, carrier);
        }
    }
    return name;
}

std::string_view WcdmaRrcMessageName(SignallingChannel channel, std::span<const std::uint8_t> pdu) {
    const ChannelNames* c = FindChannel(channel);
    if (c == nullptr) {
        return {};
    }
    Bits bits(pdu);
    if (c->integrityCheck) {
        const auto present = bits.Read(1);
        if (!present || (*present == 1 && !bits.Skip(kWcdmaIntegrityCheckBits))) {
            return {};
        }
    }
    return Choose(c->wcdma, bits);
}

std::string_view WcdmaBlockName(WcdmaBlock block) {
    const auto* it = std::find_if(std::begin(kWcdmaBlocks), std::end(kWcdmaBlocks),
                                  [block](const BlockName& b) { return b.block == block; });
    return it == std::end(kWcdmaBlocks) ? std::string_view{} : it->name;
}

std::string_view LteNasMessageName(std::span<const std::uint8_t> pdu) {
    if (pdu.empty()) {
        return {};
    }
    const unsigned header = pdu[0] >> 4;
    if ((pdu[0] & 0x0F) == kNasEsm) {
        return pdu.size() > 2 ? NasTypeName(kEsmNames, pdu[2]) : std::string_view{};
    }
    if ((pdu[0] & 0x0F) != kNasEmm) {
        return {};
    }
    if (header >= kNasServiceRequestHeader) {
        return "Service request";
    }
    if (header == 0) {
        return pdu.size() > 1 ? NasTypeName(kEmmNames, pdu[1]) : std::string_view{};
    }
    if (header == kNasCiphered || header == kNasCipheredNewContext) {
        return {};
    }
    // Integrity-protected only: the plain EMM message after the header is named.
    if (pdu.size() > kNasProtectedMessage + 1 && pdu[kNasProtectedMessage] == kNasPlainEmm) {
        return NasTypeName(kEmmNames, pdu[kNasProtectedMessage + 1]);
    }
    return {};
}

}  // namespace norvane
