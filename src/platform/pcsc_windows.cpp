#include "platform/pcsc_system.h"

#include <windows.h>
#include <winscard.h>

namespace vlrp11 {
namespace {

PcscResult result(LONG rv)
{
    return static_cast<PcscResult>(rv);
}

PcscResult establish_context(std::uint32_t scope, PcscContext* context)
{
    SCARDCONTEXT c = 0;
    LONG rv = SCardEstablishContext(scope, nullptr, nullptr, &c);
    *context = static_cast<PcscContext>(c);
    return result(rv);
}

PcscResult is_valid_context(PcscContext context)
{
    return result(SCardIsValidContext(static_cast<SCARDCONTEXT>(context)));
}

PcscResult release_context(PcscContext context)
{
    return result(SCardReleaseContext(static_cast<SCARDCONTEXT>(context)));
}

PcscResult list_readers(PcscContext context, const char* groups, char* readers, std::uint32_t* length)
{
    DWORD n = *length;
    LONG rv = SCardListReadersA(static_cast<SCARDCONTEXT>(context), groups, readers, &n);
    *length = n;
    return result(rv);
}

PcscResult connect(PcscContext context, const char* reader, std::uint32_t share_mode, std::uint32_t preferred,
                   PcscCard* card, std::uint32_t* active_protocol)
{
    SCARDHANDLE h = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnectA(static_cast<SCARDCONTEXT>(context), reader, share_mode, preferred, &h, &protocol);
    *card = static_cast<PcscCard>(h);
    *active_protocol = protocol;
    return result(rv);
}

PcscResult status(PcscCard card, char* reader_name, std::uint32_t* reader_length, std::uint32_t* state,
                  std::uint32_t* protocol, std::uint8_t* atr, std::uint32_t* atr_length)
{
    DWORD name_length = *reader_length;
    DWORD card_state = 0;
    DWORD card_protocol = 0;
    DWORD atr_n = *atr_length;
    LONG rv = SCardStatusA(static_cast<SCARDHANDLE>(card), reader_name, &name_length, &card_state, &card_protocol,
                           atr, &atr_n);
    *reader_length = name_length;
    *state = card_state;
    *protocol = card_protocol;
    *atr_length = atr_n;
    return result(rv);
}

PcscResult get_attrib(PcscCard card, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length)
{
    DWORD n = *length;
    LONG rv = SCardGetAttrib(static_cast<SCARDHANDLE>(card), attribute, value, &n);
    *length = n;
    return result(rv);
}

PcscResult transmit(PcscCard card, const std::uint8_t* command, std::uint32_t command_length,
                    std::uint8_t* response, std::uint32_t* response_length)
{
    DWORD n = *response_length;
    LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(card), SCARD_PCI_T1, command, command_length, nullptr,
                            response, &n);
    *response_length = n;
    return result(rv);
}

PcscResult disconnect(PcscCard card, std::uint32_t disposition)
{
    return result(SCardDisconnect(static_cast<SCARDHANDLE>(card), disposition));
}

constexpr PcscFunctions table = {establish_context, is_valid_context, release_context, list_readers, connect,
                                 status,            get_attrib,       transmit,        disconnect};

}  // namespace

const PcscFunctions* system_pcsc() noexcept
{
    return &table;
}

}  // namespace vlrp11
