#pragma once
// The security descriptors a default Windows 10/11 gives its folders and objects, as SDDL with
// every SID written out (TrustedInstaller and a normal user are no SDDL aliases). Wine keeps
// no access lists: the tests hand these to the code that judges them.
#define WD_TI L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
#define WD_USER L"S-1-5-21-1-2-3-1001"

namespace windows_descriptors {

inline constexpr wchar_t kTrustedInstaller[] = WD_TI;
inline constexpr wchar_t kUser[] = WD_USER;
// The administrator's own account, as the cleaner would run under it.
inline constexpr wchar_t kAdministrator[] = L"S-1-5-21-1-2-3-500";

inline constexpr wchar_t kDriveRoot[] =
    L"O:" WD_TI L"G:SYD:PAI(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
inline constexpr wchar_t kProgramData[] =
    L"O:SYG:SYD:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CI;DCLCRPCR;;;BU)";
inline constexpr wchar_t kWindowsTemp[] =
    L"O:SYD:P(A;OICIIO;FA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)";
inline constexpr wchar_t kProgramFiles[] =
    L"O:" WD_TI L"D:PAI(A;;FA;;;" WD_TI L")(A;CIIO;GA;;;" WD_TI L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)"
    L"(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
    L"(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)";
inline constexpr wchar_t kSystem32[] =
    L"O:" WD_TI L"G:SYD:PAI(A;;FA;;;" WD_TI L")(A;CIIO;GA;;;" WD_TI L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)"
    L"(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
    L"(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)";
// A folder an elevated administrator made under C:\ProgramData: Users may still add files.
inline constexpr wchar_t kAdminMadeUnderProgramData[] =
    L"O:BAD:AI(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;CIID;DCLCRPCR;;;BU)";
// A folder a normal user made under C:\ProgramData: the user owns it.
inline constexpr wchar_t kUserMadeUnderProgramData[] =
    L"O:" WD_USER L"D:AI(A;ID;FA;;;" WD_USER L")(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
    L"(A;OICIID;0x1200a9;;;BU)(A;CIID;DCLCRPCR;;;BU)";
// A folder an elevated administrator made under C:\: every signed-in user has Modify.
inline constexpr wchar_t kAdminMadeUnderRoot[] =
    L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIID;0x1301bf;;;AU)";
// A product's key locked to SYSTEM, as self-protecting anti-virus products set them: SYSTEM has
// full control, the administrators may only read it and its descriptor.
inline constexpr wchar_t kSystemOnlyKey[] = L"O:SYG:SYD:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)";
// A folder a deployment script made private (inheritance off, Users read and execute).
inline constexpr wchar_t kPrivateByScript[] = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// A folder an elevated administrator (or SYSTEM) made under C:\Program Files, as inheritance
// gives it: creator owner becomes the owner, Administrators.
inline constexpr wchar_t kAdminMadeUnderProgramFiles[] =
    L"O:BAD:AI(A;CIID;FA;;;" WD_TI L")(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"
    L"(A;ID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;AC)";
// The running administrator's own Downloads: the account owns it and has full control.
inline constexpr wchar_t kAdministratorsDownloads[] =
    L"O:S-1-5-21-1-2-3-500D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-500)";
// A mutex a normal user made: the default access list of the user's token.
inline constexpr wchar_t kUserMutex[] = L"D:(A;;GA;;;" WD_USER L")(A;;GA;;;SY)(A;;GXGR;;;S-1-5-5-0-123456)";
// A mutex a normal user made with access for everyone.
inline constexpr wchar_t kEveryoneMutex[] = L"D:(A;;GA;;;WD)";

}  // namespace windows_descriptors
