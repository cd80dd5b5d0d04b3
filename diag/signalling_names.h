// Names of the signalling messages, as Wireshark 4.0 shows them (the first words of its Info
// column), and of their channels. Every table of names is in signalling_names.cpp.
//
// An RRC message is named by the message type its PDU's first bits choose in the top-level
// CHOICE of its channel's message (UPER: each CHOICE an index of as many bits as its
// alternatives need, the extension branches -- c1 / messageClassExtension and their like --
// chosen the same way; a WCDMA DCCH or CCCH message first says whether an integrity check of 36
// bits comes before its type). A NAS message is named by its message type octet: the second of
// a plain EMM message, the third of an ESM message. What Wireshark shows in its own way is
// followed: an LTE ULInformationTransferMRDC-r15 or -IRAT-r16 that carries an NR message is
// shown by the NR message's name, an integrity-protected EMM message by the plain message inside
// it, a ciphered one by no name, every EMM message of the Service request header by that name.
//
// Names are views of static text. An empty name: Wireshark names no such message (spares,
// message types of releases it does not know, a PDU too short to hold its type).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "diag/signalling.h"

namespace norvane {

// "DL-DCCH", "BCCH-DL-SCH", ..., "SIB"; empty for kNone.
std::string_view SignallingChannelName(SignallingChannel channel);

// An LTE RRC PDU of `channel` ("RRCConnectionReconfiguration", "Paging", ...).
std::string_view LteRrcMessageName(SignallingChannel channel, std::span<const std::uint8_t> pdu);
// A WCDMA RRC PDU of `channel` ("MeasurementReport", "SystemInformation-BCH", ...); a block of
// channel kSib is named by WcdmaBlockName.
std::string_view WcdmaRrcMessageName(SignallingChannel channel, std::span<const std::uint8_t> pdu);
// A WCDMA system information block ("MasterInformationBlock", "SysInfoType 3", ...).
std::string_view WcdmaBlockName(WcdmaBlock block);
// A plain LTE NAS message ("Attach request", "Activate default EPS bearer context request").
std::string_view LteNasMessageName(std::span<const std::uint8_t> pdu);

}  // namespace norvane
