#pragma once

// What the stand-in libpcsclite.so.1 answers and what it saw last.
struct ScardIoRequest {
    unsigned long dwProtocol;
    unsigned long cbPciLength;
};

struct PcscStubState {
    long result;
    long context;
    long card;
    char readers[64];  // multi-string, as SCardListReaders returns it
    unsigned long readers_length;
    unsigned char atr[32];
    unsigned long atr_length;
    unsigned char response[300];
    unsigned long response_length;

    unsigned long scope;
    long last_context;
    long last_card;
    char last_reader[64];
    unsigned long share;
    unsigned long protocols;
    unsigned long attribute;
    const ScardIoRequest* send_pci;
    const ScardIoRequest* receive_pci;
    unsigned char command[300];
    unsigned long command_length;
    unsigned long response_capacity;
    unsigned long disposition;
};

extern "C" PcscStubState vlrp11_pcsc_stub;
extern "C" const ScardIoRequest g_rgSCardT1Pci;
