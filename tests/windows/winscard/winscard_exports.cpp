// The PC/SC calls the module makes, answered from the simulator's readers (sim_readers.h).
// Wine's own winscard.dll is a stub; this one is loaded instead with
// WINEDLLOVERRIDES=winscard=n,b when it lies next to the program.
//
// One lock serialises every call: a test DLL has no need for more, and the simulator answers a
// link request at a time anyway.
#define WINSCARDDATA
#include <winsock2.h>
#include <winscard.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "ifd/reader_link.h"
#include "sim_readers.h"

extern "C" {
const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};
}

namespace vlrp11::sim {
namespace {

constexpr DWORD atr_attribute = 0x90303;  // SCARD_ATTR_ATR_STRING

struct Card {
    SCARDCONTEXT context;
    std::size_t reader;
    unsigned generation;
};

struct State {
    std::mutex mutex;
    bool started = false;
    std::vector<SimReader> readers;
    std::map<SCARDCONTEXT, bool> contexts;
    std::map<SCARDHANDLE, Card> cards;
    std::uintptr_t next_handle = 0x1000;
};

State& state() {
    static State instance;
    return instance;
}

// Winsock and the reader list, on first use.
LONG start(State& s) {
    if (s.started) {
        return SCARD_S_SUCCESS;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return SCARD_F_INTERNAL_ERROR;
    }
    const char* text = std::getenv("VLRP11_WINSCARD_READERS");
    auto configs = parse_reader_list(text ? text : default_readers);
    if (!configs) {
        return SCARD_F_INTERNAL_ERROR;
    }
    for (auto& config : *configs) {
        SimReader reader;
        reader.config = std::move(config);
        s.readers.push_back(std::move(reader));
    }
    s.started = true;
    return SCARD_S_SUCCESS;
}

// Runs a call on the reader behind a live card handle, under the lock; a dead or unknown handle
// gets its answer without the call.
template <typename Call>
LONG with_live_reader(SCARDHANDLE handle, Call call) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto found = s.cards.find(handle);
    if (found == s.cards.end()) {
        return SCARD_E_INVALID_HANDLE;
    }
    SimReader& reader = s.readers[found->second.reader];
    if (reader.link == INVALID_SOCKET || reader.generation != found->second.generation) {
        return SCARD_W_REMOVED_CARD;
    }
    return call(reader);
}

// The usual PC/SC output rule: a null buffer asks for the length, a short one is refused.
LONG copy_out(std::span<const std::uint8_t> bytes, void* out, DWORD* length) {
    if (!length) {
        return SCARD_S_SUCCESS;
    }
    DWORD capacity = *length;
    *length = static_cast<DWORD>(bytes.size());
    if (!out) {
        return SCARD_S_SUCCESS;
    }
    if (capacity < bytes.size()) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(out));
    return SCARD_S_SUCCESS;
}

std::span<const std::uint8_t> as_bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace
}  // namespace vlrp11::sim

using namespace vlrp11::sim;

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
    if (!context) {
        return SCARD_E_INVALID_PARAMETER;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (LONG rv = start(s); rv != SCARD_S_SUCCESS) {
        return rv;
    }
    *context = static_cast<SCARDCONTEXT>(s.next_handle++);
    s.contexts[*context] = true;
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.contexts.erase(context)) {
        return SCARD_E_INVALID_HANDLE;
    }
    std::erase_if(s.cards, [context](const auto& entry) { return entry.second.context == context; });
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardIsValidContext(SCARDCONTEXT context) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.contexts.count(context) ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

LONG WINAPI SCardListReadersA(SCARDCONTEXT context, LPCSTR, LPSTR readers, LPDWORD length) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.contexts.count(context)) {
        return SCARD_E_INVALID_HANDLE;
    }
    if (!length) {
        return SCARD_E_INVALID_PARAMETER;
    }
    if (s.readers.empty()) {
        return SCARD_E_NO_READERS_AVAILABLE;
    }
    std::string names;
    for (const auto& reader : s.readers) {
        names += reader.config.name;
        names += '\0';
    }
    names += '\0';
    return copy_out(as_bytes(names), readers, length);
}

LONG WINAPI SCardConnectA(SCARDCONTEXT context, LPCSTR name, DWORD, DWORD protocols, LPSCARDHANDLE card,
                          LPDWORD active_protocol) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.contexts.count(context)) {
        return SCARD_E_INVALID_HANDLE;
    }
    if (!name || !card || !active_protocol) {
        return SCARD_E_INVALID_PARAMETER;
    }
    auto found = std::find_if(s.readers.begin(), s.readers.end(),
                              [name](const SimReader& reader) { return reader.config.name == name; });
    if (found == s.readers.end()) {
        return SCARD_E_UNKNOWN_READER;
    }
    // The simulated cards speak T=1 only.
    if (!(protocols & SCARD_PROTOCOL_T1)) {
        return SCARD_E_PROTO_MISMATCH;
    }
    if (!found->insert()) {
        return SCARD_E_NO_SMARTCARD;
    }
    *card = static_cast<SCARDHANDLE>(s.next_handle++);
    s.cards[*card] = Card{context, static_cast<std::size_t>(found - s.readers.begin()), found->generation};
    *active_protocol = SCARD_PROTOCOL_T1;
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardStatusA(SCARDHANDLE card, LPSTR reader_name, LPDWORD name_length, LPDWORD card_state,
                         LPDWORD protocol, LPBYTE atr, LPDWORD atr_length) {
    return with_live_reader(card, [&](SimReader& reader) {
        if (card_state) {
            *card_state = SCARD_SPECIFIC;
        }
        if (protocol) {
            *protocol = SCARD_PROTOCOL_T1;
        }
        std::string names = reader.config.name + std::string(2, '\0');
        LONG rv = copy_out(as_bytes(names), reader_name, name_length);
        LONG atr_rv = copy_out(reader.atr, atr, atr_length);
        return rv != SCARD_S_SUCCESS ? rv : atr_rv;
    });
}

LONG WINAPI SCardGetAttrib(SCARDHANDLE card, DWORD attribute, LPBYTE value, LPDWORD length) {
    return with_live_reader(card, [&](SimReader& reader) -> LONG {
        if (attribute != atr_attribute) {
            return SCARD_E_UNSUPPORTED_FEATURE;
        }
        if (!length) {
            return SCARD_E_INVALID_PARAMETER;
        }
        return copy_out(reader.atr, value, length);
    });
}

LONG WINAPI SCardTransmit(SCARDHANDLE card, LPCSCARD_IO_REQUEST, LPCBYTE command, DWORD command_length,
                          LPSCARD_IO_REQUEST, LPBYTE response, LPDWORD response_length) {
    return with_live_reader(card, [&](SimReader& reader) -> LONG {
        if (!command || !response || !response_length) {
            return SCARD_E_INVALID_PARAMETER;
        }
        auto answer = reader.exchange(static_cast<std::uint8_t>(link::Op::transmit), {command, command_length});
        if (!answer) {
            return SCARD_E_NOT_TRANSACTED;
        }
        return copy_out(*answer, response, response_length);
    });
}

LONG WINAPI SCardDisconnect(SCARDHANDLE card, DWORD disposition) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto found = s.cards.find(card);
    if (found == s.cards.end()) {
        return SCARD_E_INVALID_HANDLE;
    }
    SimReader& reader = s.readers[found->second.reader];
    bool live = reader.link != INVALID_SOCKET && reader.generation == found->second.generation;
    s.cards.erase(found);
    if (live && (disposition == SCARD_RESET_CARD || disposition == SCARD_UNPOWER_CARD)) {
        auto atr = reader.exchange(static_cast<std::uint8_t>(link::Op::reset), {});
        if (atr) {
            reader.atr = std::move(*atr);
        }
    }
    return SCARD_S_SUCCESS;
}

}  // extern "C"
