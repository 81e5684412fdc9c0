/* HPSocket4C: our small pack-client library, C interface.
 *
 * The program binds these exports by name from HPSocket4C.dll (C linkage, __stdcall, plain
 * undecorated names). Natively the same functions come from a static library over POSIX
 * sockets. Text arguments are narrow code-page-936 strings.
 *
 * Threads: one worker thread per started client connects, receives and makes the callbacks
 * OnPrepareConnect, OnConnect, OnHandShake (right after OnConnect: there is no SSL), OnReceive
 * and OnClose; OnSend runs on the thread that called a send, once its packet is written. No
 * library lock is held while a callback runs, and OnReceive returns before the next packet is
 * delivered. HP_Client_Send may be called from any thread at once; packets never interleave on
 * the wire. A send is written before it returns, so nothing is ever pending.
 *
 * Connections: a synchronous start returns TRUE once connected (the connect gives up after
 * about 2 s) and FALSE when it fails or the client is not stopped; a failed synchronous start
 * makes no OnClose (only OnPrepareConnect may have run). An asynchronous start returns TRUE at once and
 * reports a failed connect with OnClose(SO_CONNECT). Every established connection ends with exactly one
 * OnClose: peer closed or reset (SO_RECEIVE), bad framing or a refused OnReceive (SO_RECEIVE, SE_DATA_PROC),
 * HP_Client_Stop (SO_CLOSE, 0). The client is stopped again before its OnClose runs, so a
 * start made from OnClose, or right after it, works. HP_Client_Stop never waits for the worker.
 * Destroying a client stops it; its worker finishes on its own and keeps what it needs alive.
 *
 * Framing: header (flag << 22) | length, little-endian, then the body. A received header with
 * another flag, or a length over the maximum, closes the connection. Settings apply to later
 * connections.
 */
#ifndef HPSOCKET4C_H
#define HPSOCKET4C_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define HP_API __stdcall
#ifdef HPSOCKET4C_BUILDING_DLL
#define HP_EXPORT __declspec(dllexport)
#else
#define HP_EXPORT
#endif
#else
#define HP_API
#define HP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int HP_BOOL;
/* Windows headers define these; POSIX builds need them for HP_BOOL results. */
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
typedef uint16_t HP_USHORT;
typedef uint32_t HP_DWORD;
typedef uintptr_t HP_CONNID;
typedef uintptr_t HP_SOCKET;

typedef void* HP_Client;
typedef void* HP_TcpClient;
typedef void* HP_TcpPackClient;
typedef void* HP_SSLClient;
typedef void* HP_TcpClientListener;

typedef enum En_HP_HandleResult { HR_OK = 0, HR_IGNORE = 1, HR_ERROR = 2 } En_HP_HandleResult;

typedef enum En_HP_ServiceState {
    SS_STARTING = 0,
    SS_STARTED = 1,
    SS_STOPPING = 2,
    SS_STOPPED = 3
} En_HP_ServiceState;

typedef enum En_HP_SocketOperation {
    SO_UNKNOWN = 0,
    SO_ACCEPT = 1,
    SO_CONNECT = 2,
    SO_SEND = 3,
    SO_RECEIVE = 4,
    SO_CLOSE = 5
} En_HP_SocketOperation;

typedef enum En_HP_SocketError {
    SE_OK = 0,
    SE_ILLEGAL_STATE = 1,
    SE_INVALID_PARAM = 2,
    SE_SOCKET_CREATE = 3,
    SE_SOCKET_BIND = 4,
    SE_SOCKET_PREPARE = 5,
    SE_SOCKET_LISTEN = 6,
    SE_CP_CREATE = 7,
    SE_WORKER_THREAD_CREATE = 8,
    SE_DETECT_THREAD_CREATE = 9,
    SE_SOCKE_ATTACH_TO_CP = 10,
    SE_CONNECT_SERVER = 11,
    SE_NETWORK = 12,
    SE_DATA_PROC = 13,
    SE_DATA_SEND = 14,
    SE_SSL_ENV_NOT_READY = 101
} En_HP_SocketError;

/* One buffer of a gather send. */
typedef struct HP_Buffer {
    uint32_t len;
    char* buf;
} HP_Buffer;

typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnPrepareConnect)(HP_Client pSender, HP_CONNID dwConnID,
                                                                  HP_SOCKET socket);
typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnConnect)(HP_Client pSender, HP_CONNID dwConnID);
typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnHandShake)(HP_Client pSender, HP_CONNID dwConnID);
typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnSend)(HP_Client pSender, HP_CONNID dwConnID,
                                                        const uint8_t* pData, int iLength);
typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnReceive)(HP_Client pSender, HP_CONNID dwConnID,
                                                           const uint8_t* pData, int iLength);
typedef En_HP_HandleResult(HP_API* HP_FN_Client_OnClose)(HP_Client pSender, HP_CONNID dwConnID,
                                                         En_HP_SocketOperation enOperation, int iErrorCode);

/* Listener and client objects. */
HP_EXPORT HP_TcpClientListener HP_API Create_HP_TcpPackClientListener(void);
HP_EXPORT void HP_API Destroy_HP_TcpPackClientListener(HP_TcpClientListener pListener);
HP_EXPORT HP_TcpPackClient HP_API Create_HP_TcpPackClient(HP_TcpClientListener pListener);
HP_EXPORT void HP_API Destroy_HP_TcpPackClient(HP_TcpPackClient pClient);
/* SSL is not supported: creation returns NULL, the SSL calls report failure. */
HP_EXPORT HP_SSLClient HP_API Create_HP_SSLPackClient(HP_TcpClientListener pListener);
HP_EXPORT void HP_API Destroy_HP_SSLPackClient(HP_SSLClient pClient);

/* Callback setters. */
HP_EXPORT void HP_API HP_Set_FN_Client_OnPrepareConnect(HP_TcpClientListener pListener,
                                                        HP_FN_Client_OnPrepareConnect fn);
HP_EXPORT void HP_API HP_Set_FN_Client_OnConnect(HP_TcpClientListener pListener, HP_FN_Client_OnConnect fn);
HP_EXPORT void HP_API HP_Set_FN_Client_OnHandShake(HP_TcpClientListener pListener,
                                                   HP_FN_Client_OnHandShake fn);
HP_EXPORT void HP_API HP_Set_FN_Client_OnSend(HP_TcpClientListener pListener, HP_FN_Client_OnSend fn);
HP_EXPORT void HP_API HP_Set_FN_Client_OnReceive(HP_TcpClientListener pListener, HP_FN_Client_OnReceive fn);
HP_EXPORT void HP_API HP_Set_FN_Client_OnClose(HP_TcpClientListener pListener, HP_FN_Client_OnClose fn);

/* Connection. Start is synchronous when bAsyncConnect is FALSE: TRUE only once connected. */
HP_EXPORT HP_BOOL HP_API HP_Client_StartWithBindAddressAndLocalPort(HP_Client pClient,
                                                                    const char* lpszRemoteAddress,
                                                                    HP_USHORT usPort, HP_BOOL bAsyncConnect,
                                                                    const char* lpszBindAddress,
                                                                    HP_USHORT usLocalPort);
HP_EXPORT HP_BOOL HP_API HP_Client_Stop(HP_Client pClient);
HP_EXPORT HP_BOOL HP_API HP_Client_Send(HP_Client pClient, const uint8_t* pBuffer, int iLength);
/* One packet of iLength bytes from pBuffer + iOffset. */
HP_EXPORT HP_BOOL HP_API HP_Client_SendPart(HP_Client pClient, const uint8_t* pBuffer, int iLength,
                                            int iOffset);
/* The buffers, in order, as the body of one packet. */
HP_EXPORT HP_BOOL HP_API HP_Client_SendPackets(HP_Client pClient, const HP_Buffer pBuffers[], int iCount);
/* While paused the worker reads nothing (the peer's sends back up in TCP); a stop still ends it. */
HP_EXPORT HP_BOOL HP_API HP_Client_PauseReceive(HP_Client pClient, HP_BOOL bPause);
HP_EXPORT HP_BOOL HP_API HP_Client_IsPauseReceive(HP_Client pClient, HP_BOOL* pbPaused);
HP_EXPORT HP_BOOL HP_API HP_Client_IsConnected(HP_Client pClient);
HP_EXPORT HP_BOOL HP_API HP_Client_IsSecure(HP_Client pClient);
HP_EXPORT void HP_API HP_Client_SetExtra(HP_Client pClient, void* pExtra);
HP_EXPORT void* HP_API HP_Client_GetExtra(HP_Client pClient);
HP_EXPORT HP_BOOL HP_API HP_Client_HasStarted(HP_Client pClient);
HP_EXPORT En_HP_ServiceState HP_API HP_Client_GetState(HP_Client pClient);
HP_EXPORT En_HP_SocketError HP_API HP_Client_GetLastError(HP_Client pClient);
HP_EXPORT const char* HP_API HP_Client_GetLastErrorDesc(HP_Client pClient);
HP_EXPORT HP_CONNID HP_API HP_Client_GetConnectionID(HP_Client pClient);
/* In/out length: on entry the buffer's size in chars; on exit the length needed, including the
 * terminating zero. Returns FALSE (and sets the needed length) when the buffer is too small. */
HP_EXPORT HP_BOOL HP_API HP_Client_GetLocalAddress(HP_Client pClient, char lpszAddress[], int* piAddressLen,
                                                   HP_USHORT* pusPort);
HP_EXPORT HP_BOOL HP_API HP_Client_GetRemoteHost(HP_Client pClient, char lpszHost[], int* piHostLen,
                                                 HP_USHORT* pusPort);
HP_EXPORT HP_BOOL HP_API HP_Client_GetPendingDataLength(HP_Client pClient, int* piPending);

/* Buffer pool settings (kept and reported; they apply to later connections). */
HP_EXPORT void HP_API HP_Client_SetFreeBufferPoolSize(HP_Client pClient, HP_DWORD dwFreeBufferPoolSize);
HP_EXPORT void HP_API HP_Client_SetFreeBufferPoolHold(HP_Client pClient, HP_DWORD dwFreeBufferPoolHold);
HP_EXPORT HP_DWORD HP_API HP_Client_GetFreeBufferPoolSize(HP_Client pClient);
HP_EXPORT HP_DWORD HP_API HP_Client_GetFreeBufferPoolHold(HP_Client pClient);

/* TCP client settings. SendSmallFile sends head, the file's bytes and tail as one packet (FALSE
 * when the file cannot be read or the whole is over the maximum body size). Keep-alive is on
 * with a time of 60,000 ms and an interval of 20,000 ms unless the time is set to 0; a socket
 * buffer size of 0 keeps the system's. */
HP_EXPORT HP_BOOL HP_API HP_TcpClient_SendSmallFile(HP_Client pClient, const char* lpszFileName,
                                                    const HP_Buffer* pHead, const HP_Buffer* pTail);
HP_EXPORT void HP_API HP_TcpClient_SetSocketBufferSize(HP_TcpClient pClient, HP_DWORD dwSocketBufferSize);
HP_EXPORT void HP_API HP_TcpClient_SetKeepAliveTime(HP_TcpClient pClient, HP_DWORD dwKeepAliveTime);
HP_EXPORT void HP_API HP_TcpClient_SetKeepAliveInterval(HP_TcpClient pClient, HP_DWORD dwKeepAliveInterval);
HP_EXPORT HP_DWORD HP_API HP_TcpClient_GetSocketBufferSize(HP_TcpClient pClient);
HP_EXPORT HP_DWORD HP_API HP_TcpClient_GetKeepAliveTime(HP_TcpClient pClient);
HP_EXPORT HP_DWORD HP_API HP_TcpClient_GetKeepAliveInterval(HP_TcpClient pClient);

/* Pack framing settings. The maximum is held at 0x3FFFFF and the flag at 0x3FF, the widths of
 * the header's fields; defaults 0x3FFFFF and 0. A send over the maximum is refused. */
HP_EXPORT void HP_API HP_TcpPackClient_SetMaxPackSize(HP_TcpPackClient pClient, HP_DWORD dwMaxPackSize);
HP_EXPORT void HP_API HP_TcpPackClient_SetPackHeaderFlag(HP_TcpPackClient pClient,
                                                         HP_USHORT usPackHeaderFlag);
HP_EXPORT HP_DWORD HP_API HP_TcpPackClient_GetMaxPackSize(HP_TcpPackClient pClient);
HP_EXPORT HP_USHORT HP_API HP_TcpPackClient_GetPackHeaderFlag(HP_TcpPackClient pClient);

/* SSL (unsupported: each reports failure or does nothing). */
HP_EXPORT HP_BOOL HP_API HP_SSLClient_SetupSSLContext(HP_SSLClient pClient, int iVerifyMode,
                                                      const char* lpszPemCertFile, const char* lpszPemKeyFile,
                                                      const char* lpszKeyPassword,
                                                      const char* lpszCAPemCertFileOrPath);
HP_EXPORT void HP_API HP_SSLClient_CleanupSSLContext(HP_SSLClient pClient);
HP_EXPORT HP_BOOL HP_API HP_SSLClient_StartSSLHandShake(HP_SSLClient pClient);
HP_EXPORT void HP_API HP_SSLClient_SetSSLAutoHandShake(HP_SSLClient pClient, HP_BOOL bAutoHandShake);
HP_EXPORT HP_BOOL HP_API HP_SSLClient_IsSSLAutoHandShake(HP_SSLClient pClient);

#ifdef __cplusplus
}
#endif

#endif /* HPSOCKET4C_H */
