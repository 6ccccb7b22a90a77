#pragma once

#include <cstdint>

namespace vlrp11 {

// Handles and results of the PC/SC interface in fixed widths, whatever the platform's own
// types are (pcsc-lite on 64-bit Linux uses 64-bit DWORDs, winscard 32-bit ones).
using PcscContext = std::uint64_t;
using PcscCard = std::uint64_t;
using PcscResult = std::uint32_t;

constexpr PcscResult PCSC_SUCCESS = 0;
constexpr PcscResult PCSC_E_INSUFFICIENT_BUFFER = 0x80100008;
constexpr PcscResult PCSC_E_NO_SERVICE = 0x8010001D;
constexpr std::uint32_t PCSC_SCOPE_USER = 0;
constexpr std::uint32_t PCSC_SHARE_SHARED = 2;
constexpr std::uint32_t PCSC_PROTOCOL_T1 = 2;
constexpr std::uint32_t PCSC_LEAVE_CARD = 0;
constexpr std::uint32_t PCSC_ATTR_ATR_STRING = 0x90303;

// The PC/SC calls the library makes, as a table of function pointers. It is the one seam of the
// library: production binds it to the system's PC/SC library, tests may bind a fake that
// forwards APDUs to an in-process simulator or injects faults. Lengths are in/out as in PC/SC:
// capacity on entry, bytes written (or needed) on return.
struct PcscFunctions {
    PcscResult (*establish_context)(std::uint32_t scope, PcscContext* context);
    PcscResult (*is_valid_context)(PcscContext context);
    PcscResult (*release_context)(PcscContext context);
    // groups may be null; readers null asks for the length of the multi-string.
    PcscResult (*list_readers)(PcscContext context, const char* groups, char* readers, std::uint32_t* length);
    PcscResult (*connect)(PcscContext context, const char* reader, std::uint32_t share_mode,
                          std::uint32_t preferred_protocols, PcscCard* card, std::uint32_t* active_protocol);
    PcscResult (*status)(PcscCard card, char* reader_name, std::uint32_t* reader_length, std::uint32_t* state,
                         std::uint32_t* protocol, std::uint8_t* atr, std::uint32_t* atr_length);
    PcscResult (*get_attrib)(PcscCard card, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length);
    // Sends one APDU with the T=1 protocol header.
    PcscResult (*transmit)(PcscCard card, const std::uint8_t* command, std::uint32_t command_length,
                           std::uint8_t* response, std::uint32_t* response_length);
    PcscResult (*disconnect)(PcscCard card, std::uint32_t disposition);
};

// The bound table, or null when the system has no PC/SC library (PC/SC devices are then
// simply absent). The system binding is made on first use.
const PcscFunctions* pcsc() noexcept;

// Replaces the binding; null restores the system's. For tests.
void bind_pcsc(const PcscFunctions* functions) noexcept;

}  // namespace vlrp11
