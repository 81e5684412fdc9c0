// A stand-in HPSocket4C.dll with one export, built twice to tell two copies apart.
extern "C" __declspec(dllexport) const char* __stdcall HP_Client_GetLastErrorDesc(void*) {
    return PROBE_NAME;
}
