// A stand-in for pcsc-lite's libpcsclite.so.1 with its C ABI (LONG, DWORD and handles are
// long-sized): every call records its arguments in vlrp11_pcsc_stub and answers what the test put
// there. Built for the platform tests only.
#include "pcsc_stub/pcsclite_stub.h"

#include <cstring>

extern "C" {

PcscStubState vlrp11_pcsc_stub;
const ScardIoRequest g_rgSCardT1Pci = {2, sizeof(ScardIoRequest)};

long SCardEstablishContext(unsigned long scope, const void*, const void*, long* context)
{
    vlrp11_pcsc_stub.scope = scope;
    *context = vlrp11_pcsc_stub.context;
    return vlrp11_pcsc_stub.result;
}

long SCardIsValidContext(long context)
{
    vlrp11_pcsc_stub.last_context = context;
    return vlrp11_pcsc_stub.result;
}

long SCardReleaseContext(long context)
{
    vlrp11_pcsc_stub.last_context = context;
    return vlrp11_pcsc_stub.result;
}

long SCardListReaders(long context, const char*, char* readers, unsigned long* length)
{
    vlrp11_pcsc_stub.last_context = context;
    unsigned long needed = vlrp11_pcsc_stub.readers_length;
    if (readers != nullptr) {
        if (*length < needed)
            return static_cast<long>(0x80100008);  // insufficient buffer
        std::memcpy(readers, vlrp11_pcsc_stub.readers, needed);
    }
    *length = needed;
    return vlrp11_pcsc_stub.result;
}

long SCardConnect(long context, const char* reader, unsigned long share, unsigned long protocols, long* card,
                  unsigned long* active)
{
    vlrp11_pcsc_stub.last_context = context;
    std::strncpy(vlrp11_pcsc_stub.last_reader, reader, sizeof vlrp11_pcsc_stub.last_reader - 1);
    vlrp11_pcsc_stub.share = share;
    vlrp11_pcsc_stub.protocols = protocols;
    *card = vlrp11_pcsc_stub.card;
    *active = 2;
    return vlrp11_pcsc_stub.result;
}

long SCardStatus(long card, char* name, unsigned long* name_length, unsigned long* state, unsigned long* protocol,
                 unsigned char* atr, unsigned long* atr_length)
{
    vlrp11_pcsc_stub.last_card = card;
    unsigned long n = std::strlen(vlrp11_pcsc_stub.readers) + 1;
    if (name != nullptr && *name_length >= n)
        std::memcpy(name, vlrp11_pcsc_stub.readers, n);
    *name_length = n;
    *state = 0x34;
    *protocol = 2;
    if (atr != nullptr && *atr_length >= vlrp11_pcsc_stub.atr_length)
        std::memcpy(atr, vlrp11_pcsc_stub.atr, vlrp11_pcsc_stub.atr_length);
    *atr_length = vlrp11_pcsc_stub.atr_length;
    return vlrp11_pcsc_stub.result;
}

long SCardGetAttrib(long card, unsigned long attribute, unsigned char* value, unsigned long* length)
{
    vlrp11_pcsc_stub.last_card = card;
    vlrp11_pcsc_stub.attribute = attribute;
    if (*length < vlrp11_pcsc_stub.atr_length)
        return static_cast<long>(0x80100008);
    std::memcpy(value, vlrp11_pcsc_stub.atr, vlrp11_pcsc_stub.atr_length);
    *length = vlrp11_pcsc_stub.atr_length;
    return vlrp11_pcsc_stub.result;
}

long SCardTransmit(long card, const ScardIoRequest* send_pci, const unsigned char* command,
                   unsigned long command_length, ScardIoRequest* receive_pci, unsigned char* response,
                   unsigned long* response_length)
{
    vlrp11_pcsc_stub.last_card = card;
    vlrp11_pcsc_stub.send_pci = send_pci;
    vlrp11_pcsc_stub.receive_pci = receive_pci;
    vlrp11_pcsc_stub.command_length = command_length;
    std::memcpy(vlrp11_pcsc_stub.command, command, command_length < sizeof vlrp11_pcsc_stub.command
                                                       ? command_length : sizeof vlrp11_pcsc_stub.command);
    vlrp11_pcsc_stub.response_capacity = *response_length;
    std::memcpy(response, vlrp11_pcsc_stub.response, vlrp11_pcsc_stub.response_length);
    *response_length = vlrp11_pcsc_stub.response_length;
    return vlrp11_pcsc_stub.result;
}

long SCardDisconnect(long card, unsigned long disposition)
{
    vlrp11_pcsc_stub.last_card = card;
    vlrp11_pcsc_stub.disposition = disposition;
    return vlrp11_pcsc_stub.result;
}

}  // extern "C"
