// The IFD handler entry points pcscd looks up in the driver. One reader per reader.conf.d entry;
// its DEVICENAME is the loopback address and port of the simulator playing the card
// ("127.0.0.1:36864"). pcscd numbers readers in the high 16 bits of the Lun.
// Only the entry points leave the module; the build hides everything else. The header has no
// C++ guard of its own.
#pragma GCC visibility push(default)
extern "C" {
#include <ifdhandler.h>
}
#pragma GCC visibility pop
#include <reader.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "virtual_reader.h"

namespace vlrp11::sim {
namespace {

// The number of readers one loaded copy of the driver serves, as pcscd asks for it.
constexpr std::uint8_t max_readers = 16;

std::mutex table_mutex;
std::map<DWORD, std::shared_ptr<VirtualReader>> readers;

std::shared_ptr<VirtualReader> find_reader(DWORD lun) {
    std::lock_guard lock(table_mutex);
    auto found = readers.find(lun >> 16);
    return found == readers.end() ? nullptr : found->second;
}

RESPONSECODE code_of(VirtualReader::Result result) {
    switch (result) {
    case VirtualReader::Result::ok: return IFD_SUCCESS;
    case VirtualReader::Result::absent: return IFD_ICC_NOT_PRESENT;
    case VirtualReader::Result::too_small: return IFD_ERROR_INSUFFICIENT_BUFFER;
    case VirtualReader::Result::failed: break;
    }
    return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE answer_byte(DWORD value, PDWORD length, PUCHAR out) {
    if (*length < 1) {
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    out[0] = static_cast<UCHAR>(value);
    *length = 1;
    return IFD_SUCCESS;
}

}  // namespace
}  // namespace vlrp11::sim

using vlrp11::sim::find_reader;
using vlrp11::sim::VirtualReader;

extern "C" {

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
    auto endpoint = vlrp11::sim::parse_endpoint(DeviceName ? DeviceName : "");
    if (!endpoint) {
        return IFD_COMMUNICATION_ERROR;
    }
    std::lock_guard lock(vlrp11::sim::table_mutex);
    if (vlrp11::sim::readers.size() >= vlrp11::sim::max_readers) {
        return IFD_COMMUNICATION_ERROR;
    }
    // The simulator need not be up yet: until it is, the reader simply has no card.
    vlrp11::sim::readers[Lun >> 16] = std::make_shared<VirtualReader>(*endpoint);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHCreateChannel(DWORD, DWORD) {
    // Without a DEVICENAME the driver would not know where the simulator listens.
    return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    std::lock_guard lock(vlrp11::sim::table_mutex);
    vlrp11::sim::readers.erase(Lun >> 16);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHICCPresence(DWORD Lun) {
    auto reader = find_reader(Lun);
    if (!reader) {
        return IFD_NO_SUCH_DEVICE;
    }
    return reader->present() ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
    auto reader = find_reader(Lun);
    if (!reader) {
        return IFD_NO_SUCH_DEVICE;
    }
    if (AtrLength) {
        *AtrLength = 0;
    }
    if (Action == IFD_POWER_DOWN) {
        return vlrp11::sim::code_of(reader->power_down());
    }
    if (Action != IFD_POWER_UP && Action != IFD_RESET) {
        return IFD_NOT_SUPPORTED;
    }
    std::vector<std::uint8_t> atr;
    auto result = reader->power_up(Action == IFD_RESET, atr);
    if (result == VirtualReader::Result::failed || atr.size() > MAX_ATR_SIZE) {
        return IFD_ERROR_POWER_ACTION;
    }
    if (result != VirtualReader::Result::ok) {
        return vlrp11::sim::code_of(result);
    }
    if (Atr && AtrLength) {
        std::copy(atr.begin(), atr.end(), Atr);
        *AtrLength = static_cast<DWORD>(atr.size());
    }
    return IFD_SUCCESS;
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER, PUCHAR TxBuffer, DWORD TxLength,
                               PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
    auto reader = find_reader(Lun);
    if (!reader) {
        *RxLength = 0;
        return IFD_NO_SUCH_DEVICE;
    }
    std::size_t received = 0;
    auto result = reader->transmit({TxBuffer, TxLength}, {RxBuffer, *RxLength}, received);
    *RxLength = static_cast<DWORD>(received);
    if (result == VirtualReader::Result::ok && RecvPci) {
        RecvPci->Protocol = SCARD_PROTOCOL_T1;
    }
    return vlrp11::sim::code_of(result);
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
    auto reader = find_reader(Lun);
    if (!reader) {
        return IFD_NO_SUCH_DEVICE;
    }
    switch (Tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING: {
        auto atr = reader->atr();
        if (*Length < atr.size()) {
            return IFD_ERROR_INSUFFICIENT_BUFFER;
        }
        std::copy(atr.begin(), atr.end(), Value);
        *Length = static_cast<DWORD>(atr.size());
        return IFD_SUCCESS;
    }
    case TAG_IFD_SLOTS_NUMBER: return vlrp11::sim::answer_byte(1, Length, Value);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        return vlrp11::sim::answer_byte(vlrp11::sim::max_readers, Length, Value);
    // Readers lock themselves, so pcscd may drive different readers at once.
    case TAG_IFD_THREAD_SAFE: return vlrp11::sim::answer_byte(1, Length, Value);
    default: return IFD_ERROR_TAG;
    }
}

RESPONSECODE IFDHSetCapabilities(DWORD, DWORD, DWORD, PUCHAR) { return IFD_NOT_SUPPORTED; }

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR) {
    if (!find_reader(Lun)) {
        return IFD_NO_SUCH_DEVICE;
    }
    // The ATR offers T=1 only.
    return Protocol == SCARD_PROTOCOL_T1 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
}

RESPONSECODE IFDHControl(DWORD, DWORD, PUCHAR, DWORD, PUCHAR, DWORD, LPDWORD BytesReturned) {
    if (BytesReturned) {
        *BytesReturned = 0;
    }
    return IFD_ERROR_NOT_SUPPORTED;
}

}  // extern "C"
