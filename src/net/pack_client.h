// PackClient: the thin wrapper around HPSocket4C, one method per library function.
//
// On Windows every method goes through the native call table (the library is bound by name
// from HPSocket4C.dll at its first call); natively it calls the static library directly. The
// wrapper holds one field, the listener handle; the client handle is kept by its owner and
// passed to every method except the callback setters. Safe from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "HPSocket4C.h"

namespace net {

class PackClient {
  public:
    using Handle = HP_TcpPackClient;
    // What CreateClient returns when no listener could be made.
    static inline const Handle kNoClient = reinterpret_cast<Handle>(static_cast<intptr_t>(-1));

    PackClient() = default;
    // Never stops or destroys anything: the connection lives as long as the process.
    ~PackClient() = default;
    PackClient(const PackClient&) = delete;
    PackClient& operator=(const PackClient&) = delete;

    // Methods on an invalid handle (null or kNoClient) do nothing and report failure.
    // The library's result as it is: 1 (TRUE) only once connected.
    int Start(Handle client, const std::string& host, uint16_t port, bool async,
              const std::string& bindAddress = "0.0.0.0", uint16_t localPort = 0);
    bool Stop(Handle client);
    bool Send(Handle client, const uint8_t* data, int length);
    bool Send(Handle client, const std::string& bytes);  // an empty buffer goes as null and 0
    bool IsSecure(Handle client);
    bool SendPart(Handle client, const uint8_t* data, int length, int offset);
    bool SendPackets(Handle client, const HP_Buffer* buffers, int count);
    void SetExtra(Handle client, void* extra);
    void* GetExtra(Handle client);
    bool HasStarted(Handle client);
    En_HP_ServiceState GetState(Handle client);
    En_HP_SocketError GetLastError(Handle client);
    std::string GetLastErrorDesc(Handle client);
    HP_CONNID GetConnectionID(Handle client);
    // Asks for the needed length with the caller's buffer (address, length) first, then again
    // with a buffer of that length (50 when none was reported). address receives the text.
    bool GetLocalAddress(Handle client, std::string& address, int& length, uint16_t& port);
    bool GetRemoteHost(Handle client, std::string& host, int& length, uint16_t& port);
    bool GetPendingDataLength(Handle client, int& pending);
    void SetFreeBufferPoolSize(Handle client, uint32_t size);
    void SetFreeBufferPoolHold(Handle client, uint32_t hold);
    uint32_t GetFreeBufferPoolSize(Handle client);
    uint32_t GetFreeBufferPoolHold(Handle client);
    bool SetupSSLContext(Handle client, int verifyMode, const std::string& certFile,
                         const std::string& keyFile, const std::string& keyPassword,
                         const std::string& caFileOrPath);
    void CleanupSSLContext(Handle client);
    bool StartSSLHandShake(Handle client);
    void SetSSLAutoHandShake(Handle client, bool automatic);
    bool IsSSLAutoHandShake(Handle client);
    bool IsPauseReceive(Handle client, bool& paused);
    bool IsConnected(Handle client);
    bool PauseReceive(Handle client, bool pause);

    // Callback setters use the stored listener: false, and nothing set, while it is 0.
    bool SetOnPrepareConnect(HP_FN_Client_OnPrepareConnect fn);
    bool SetOnConnect(HP_FN_Client_OnConnect fn);
    bool SetOnHandShake(HP_FN_Client_OnHandShake fn);
    bool SetOnSend(HP_FN_Client_OnSend fn);
    bool SetOnReceive(HP_FN_Client_OnReceive fn);
    bool SetOnClose(HP_FN_Client_OnClose fn);

    HP_TcpClientListener CreateListener();  // stores and returns the new listener handle
    void DestroyListener();
    // Creates the listener first when there is none yet; kNoClient when there still is none.
    Handle CreateClient(bool ssl);
    void DestroyClient(Handle client, bool ssl);

    bool SendSmallFile(Handle client, const std::string& fileName, const HP_Buffer* head,
                       const HP_Buffer* tail);
    void SetSocketBufferSize(Handle client, uint32_t size);
    void SetKeepAliveTime(Handle client, uint32_t ms);
    void SetKeepAliveInterval(Handle client, uint32_t ms);
    uint32_t GetSocketBufferSize(Handle client);
    uint32_t GetKeepAliveTime(Handle client);
    uint32_t GetKeepAliveInterval(Handle client);
    void SetMaxPackSize(Handle client, uint32_t size);
    void SetPackHeaderFlag(Handle client, uint16_t flag);
    uint32_t GetMaxPackSize(Handle client);
    uint16_t GetPackHeaderFlag(Handle client);

    HP_TcpClientListener listener() const { return listener_.load(); }

  private:
    std::atomic<HP_TcpClientListener> listener_{nullptr};
};

}  // namespace net
