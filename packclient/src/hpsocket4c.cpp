// The C entry points. Each one validates its handle and arguments, and no C++ exception ever
// leaves through one of them.
#include "HPSocket4C.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client.h"

using hp::Client;
using hp::Connection;
using hp::Listener;

namespace {

Client* AsClient(void* handle) { return static_cast<Client*>(handle); }
Listener* AsListener(void* handle) { return static_cast<Listener*>(handle); }

// Copies text and its terminating zero into the caller's buffer, following the in/out length
// rule: *length is the buffer size on entry and the size needed on exit.
HP_BOOL CopyOut(const std::string& text, char buffer[], int* length) {
    int need = static_cast<int>(text.size()) + 1;
    if (!buffer || *length < need) {
        *length = need;
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), static_cast<size_t>(need));
    *length = need;
    return TRUE;
}

template <class F>
HP_BOOL Guarded(Client* client, F&& f) {
    try {
        return f();
    } catch (...) {
        if (client) client->SetError(SE_INVALID_PARAM);
        return FALSE;
    }
}

HP_BOOL SendPieces(Client* client, const HP_Buffer* buffers, int count) {
    std::vector<sockcompat::Piece> pieces(1);
    std::string joined;
    // The socket layer gathers a few pieces; more are joined here first.
    if (count > 7) {
        for (int i = 0; i < count; ++i) joined.append(buffers[i].buf, buffers[i].len);
        pieces.push_back({joined.data(), joined.size()});
    } else {
        for (int i = 0; i < count; ++i) pieces.push_back({buffers[i].buf, buffers[i].len});
    }
    return client->SendPacket(pieces.data(), pieces.size());
}

}  // namespace

extern "C" {

HP_TcpClientListener HP_API Create_HP_TcpPackClientListener(void) {
    try {
        return new Listener();
    } catch (...) {
        return nullptr;
    }
}

void HP_API Destroy_HP_TcpPackClientListener(HP_TcpClientListener pListener) {
    if (pListener) AsListener(pListener)->Release();
}

HP_TcpPackClient HP_API Create_HP_TcpPackClient(HP_TcpClientListener pListener) {
    if (!pListener) return nullptr;
    try {
        if (!sockcompat::EnsureStarted()) return nullptr;
        return new Client(AsListener(pListener));
    } catch (...) {
        return nullptr;
    }
}

void HP_API Destroy_HP_TcpPackClient(HP_TcpPackClient pClient) {
    if (!pClient) return;
    // A running worker keeps its own reference and ends after its OnClose.
    AsClient(pClient)->Stop();
    AsClient(pClient)->Release();
}

HP_SSLClient HP_API Create_HP_SSLPackClient(HP_TcpClientListener) { return nullptr; }
void HP_API Destroy_HP_SSLPackClient(HP_SSLClient) {}

#define MIAOLAN_SETTER(Event, member)                                                               \
    void HP_API HP_Set_FN_Client_##Event(HP_TcpClientListener pListener, HP_FN_Client_##Event fn) { \
        if (pListener) AsListener(pListener)->member.store(fn);                                     \
    }
MIAOLAN_SETTER(OnPrepareConnect, onPrepareConnect)
MIAOLAN_SETTER(OnConnect, onConnect)
MIAOLAN_SETTER(OnHandShake, onHandShake)
MIAOLAN_SETTER(OnSend, onSend)
MIAOLAN_SETTER(OnReceive, onReceive)
MIAOLAN_SETTER(OnClose, onClose)
#undef MIAOLAN_SETTER

HP_BOOL HP_API HP_Client_StartWithBindAddressAndLocalPort(HP_Client pClient, const char* lpszRemoteAddress,
                                                          HP_USHORT usPort, HP_BOOL bAsyncConnect,
                                                          const char* lpszBindAddress,
                                                          HP_USHORT usLocalPort) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    return Guarded(c, [&] {
        return c->Start(lpszRemoteAddress, usPort, bAsyncConnect != 0, lpszBindAddress, usLocalPort);
    });
}

HP_BOOL HP_API HP_Client_Stop(HP_Client pClient) {
    Client* c = AsClient(pClient);
    return c ? Guarded(c, [&] { return c->Stop(); }) : FALSE;
}

HP_BOOL HP_API HP_Client_Send(HP_Client pClient, const uint8_t* pBuffer, int iLength) {
    return HP_Client_SendPart(pClient, pBuffer, iLength, 0);
}

HP_BOOL HP_API HP_Client_SendPart(HP_Client pClient, const uint8_t* pBuffer, int iLength, int iOffset) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    if (iLength < 0 || iOffset < 0 || (!pBuffer && iLength > 0)) {
        c->SetError(SE_INVALID_PARAM);
        return FALSE;
    }
    return Guarded(c, [&] {
        sockcompat::Piece pieces[2] = {{nullptr, 0},
                                       {iLength ? pBuffer + iOffset : nullptr, static_cast<size_t>(iLength)}};
        return c->SendPacket(pieces, 2);
    });
}

HP_BOOL HP_API HP_Client_SendPackets(HP_Client pClient, const HP_Buffer pBuffers[], int iCount) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    if (iCount < 0 || (!pBuffers && iCount > 0)) {
        c->SetError(SE_INVALID_PARAM);
        return FALSE;
    }
    for (int i = 0; i < iCount; ++i) {
        if (!pBuffers[i].buf && pBuffers[i].len > 0) {
            c->SetError(SE_INVALID_PARAM);
            return FALSE;
        }
    }
    return Guarded(c, [&] { return SendPieces(c, pBuffers, iCount); });
}

HP_BOOL HP_API HP_TcpClient_SendSmallFile(HP_Client pClient, const char* lpszFileName, const HP_Buffer* pHead,
                                          const HP_Buffer* pTail) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    return Guarded(c, [&]() -> HP_BOOL {
        std::unique_ptr<FILE, int (*)(FILE*)> file(lpszFileName ? std::fopen(lpszFileName, "rb") : nullptr,
                                                   std::fclose);
        if (!file) {
            c->SetError(SE_INVALID_PARAM);
            return FALSE;
        }
        std::string content;
        char chunk[64 * 1024];
        size_t got;
        uint32_t limit = c->maxPackSize.load();
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
            content.append(chunk, got);
            if (content.size() > limit) {
                c->SetError(SE_INVALID_PARAM);
                return FALSE;
            }
        }
        HP_Buffer parts[3] = {pHead ? *pHead : HP_Buffer{0, nullptr},
                              {static_cast<uint32_t>(content.size()), content.data()},
                              pTail ? *pTail : HP_Buffer{0, nullptr}};
        return SendPieces(c, parts, 3);
    });
}

HP_BOOL HP_API HP_Client_PauseReceive(HP_Client pClient, HP_BOOL bPause) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    std::shared_ptr<Connection> conn = c->Current();
    if (!conn) {
        c->SetError(SE_ILLEGAL_STATE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(conn->pauseMutex);
        conn->paused = bPause != 0;
    }
    conn->pauseChanged.notify_all();
    return TRUE;
}

HP_BOOL HP_API HP_Client_IsPauseReceive(HP_Client pClient, HP_BOOL* pbPaused) {
    Client* c = AsClient(pClient);
    if (!c || !pbPaused) return FALSE;
    std::shared_ptr<Connection> conn = c->Current();
    if (!conn) return FALSE;
    std::lock_guard<std::mutex> lock(conn->pauseMutex);
    *pbPaused = conn->paused ? TRUE : FALSE;
    return TRUE;
}

HP_BOOL HP_API HP_Client_IsConnected(HP_Client pClient) {
    Client* c = AsClient(pClient);
    if (!c) return FALSE;
    std::shared_ptr<Connection> conn = c->Current();
    return conn && !conn->closing.load() ? TRUE : FALSE;
}

HP_BOOL HP_API HP_Client_IsSecure(HP_Client) { return FALSE; }

void HP_API HP_Client_SetExtra(HP_Client pClient, void* pExtra) {
    if (pClient) AsClient(pClient)->extra.store(pExtra);
}

void* HP_API HP_Client_GetExtra(HP_Client pClient) {
    return pClient ? AsClient(pClient)->extra.load() : nullptr;
}

HP_BOOL HP_API HP_Client_HasStarted(HP_Client pClient) {
    if (!pClient) return FALSE;
    En_HP_ServiceState s = AsClient(pClient)->State();
    return s == SS_STARTING || s == SS_STARTED ? TRUE : FALSE;
}

En_HP_ServiceState HP_API HP_Client_GetState(HP_Client pClient) {
    return pClient ? AsClient(pClient)->State() : SS_STOPPED;
}

En_HP_SocketError HP_API HP_Client_GetLastError(HP_Client pClient) {
    return pClient ? AsClient(pClient)->LastError() : SE_INVALID_PARAM;
}

const char* HP_API HP_Client_GetLastErrorDesc(HP_Client pClient) {
    return hp::ErrorText(HP_Client_GetLastError(pClient));
}

HP_CONNID HP_API HP_Client_GetConnectionID(HP_Client pClient) {
    return pClient ? AsClient(pClient)->LastConnectionId() : 0;
}

HP_BOOL HP_API HP_Client_GetLocalAddress(HP_Client pClient, char lpszAddress[], int* piAddressLen,
                                         HP_USHORT* pusPort) {
    Client* c = AsClient(pClient);
    if (!c || !piAddressLen) return FALSE;
    std::shared_ptr<Connection> conn = c->Current();
    std::string address;
    uint16_t port = 0;
    if (!conn || !sockcompat::LocalEndpoint(conn->socket.get(), &address, &port)) {
        *piAddressLen = 0;
        c->SetError(SE_ILLEGAL_STATE);
        return FALSE;
    }
    return Guarded(c, [&] {
        if (pusPort) *pusPort = port;
        return CopyOut(address, lpszAddress, piAddressLen);
    });
}

HP_BOOL HP_API HP_Client_GetRemoteHost(HP_Client pClient, char lpszHost[], int* piHostLen,
                                       HP_USHORT* pusPort) {
    Client* c = AsClient(pClient);
    if (!c || !piHostLen) return FALSE;
    std::shared_ptr<Connection> conn = c->Current();
    if (!conn) {
        *piHostLen = 0;
        c->SetError(SE_ILLEGAL_STATE);
        return FALSE;
    }
    return Guarded(c, [&] {
        if (pusPort) *pusPort = conn->remotePort;
        return CopyOut(conn->remoteHost, lpszHost, piHostLen);
    });
}

HP_BOOL HP_API HP_Client_GetPendingDataLength(HP_Client pClient, int* piPending) {
    Client* c = AsClient(pClient);
    if (!c || !piPending || !c->Current()) return FALSE;
    // Sends are written before they return: nothing ever waits in the library.
    *piPending = 0;
    return TRUE;
}

void HP_API HP_Client_SetFreeBufferPoolSize(HP_Client pClient, HP_DWORD v) {
    if (pClient) AsClient(pClient)->poolSize.store(v);
}
void HP_API HP_Client_SetFreeBufferPoolHold(HP_Client pClient, HP_DWORD v) {
    if (pClient) AsClient(pClient)->poolHold.store(v);
}
HP_DWORD HP_API HP_Client_GetFreeBufferPoolSize(HP_Client pClient) {
    return pClient ? AsClient(pClient)->poolSize.load() : 0;
}
HP_DWORD HP_API HP_Client_GetFreeBufferPoolHold(HP_Client pClient) {
    return pClient ? AsClient(pClient)->poolHold.load() : 0;
}

void HP_API HP_TcpClient_SetSocketBufferSize(HP_TcpClient pClient, HP_DWORD v) {
    if (pClient) AsClient(pClient)->socketBufferSize.store(v);
}
void HP_API HP_TcpClient_SetKeepAliveTime(HP_TcpClient pClient, HP_DWORD v) {
    if (pClient) AsClient(pClient)->keepAliveTime.store(v);
}
void HP_API HP_TcpClient_SetKeepAliveInterval(HP_TcpClient pClient, HP_DWORD v) {
    if (pClient) AsClient(pClient)->keepAliveInterval.store(v);
}
HP_DWORD HP_API HP_TcpClient_GetSocketBufferSize(HP_TcpClient pClient) {
    return pClient ? AsClient(pClient)->socketBufferSize.load() : 0;
}
HP_DWORD HP_API HP_TcpClient_GetKeepAliveTime(HP_TcpClient pClient) {
    return pClient ? AsClient(pClient)->keepAliveTime.load() : 0;
}
HP_DWORD HP_API HP_TcpClient_GetKeepAliveInterval(HP_TcpClient pClient) {
    return pClient ? AsClient(pClient)->keepAliveInterval.load() : 0;
}

void HP_API HP_TcpPackClient_SetMaxPackSize(HP_TcpPackClient pClient, HP_DWORD dwMaxPackSize) {
    // The header has 22 bits of length.
    if (pClient) AsClient(pClient)->maxPackSize.store(dwMaxPackSize > 0x3FFFFF ? 0x3FFFFF : dwMaxPackSize);
}
void HP_API HP_TcpPackClient_SetPackHeaderFlag(HP_TcpPackClient pClient, HP_USHORT usPackHeaderFlag) {
    // The header has 10 bits of flag.
    if (pClient) AsClient(pClient)->packHeaderFlag.store(usPackHeaderFlag > 0x3FF ? 0x3FF : usPackHeaderFlag);
}
HP_DWORD HP_API HP_TcpPackClient_GetMaxPackSize(HP_TcpPackClient pClient) {
    return pClient ? AsClient(pClient)->maxPackSize.load() : 0;
}
HP_USHORT HP_API HP_TcpPackClient_GetPackHeaderFlag(HP_TcpPackClient pClient) {
    return pClient ? static_cast<HP_USHORT>(AsClient(pClient)->packHeaderFlag.load()) : 0;
}

HP_BOOL HP_API HP_SSLClient_SetupSSLContext(HP_SSLClient, int, const char*, const char*, const char*,
                                            const char*) {
    return FALSE;
}
void HP_API HP_SSLClient_CleanupSSLContext(HP_SSLClient) {}
HP_BOOL HP_API HP_SSLClient_StartSSLHandShake(HP_SSLClient) { return FALSE; }
void HP_API HP_SSLClient_SetSSLAutoHandShake(HP_SSLClient, HP_BOOL) {}
HP_BOOL HP_API HP_SSLClient_IsSSLAutoHandShake(HP_SSLClient) { return FALSE; }

}  // extern "C"
