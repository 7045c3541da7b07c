; The Windows installer of KMV Plugshift PERU. makensis gets from the build:
;   VERSION, OUTFILE, BUILD (the build tree: bin\, data\, skel\, lang\), and WINDOW when the
;   build has the window (bin\plugshift.exe)
; It installs the installation the programs expect (the program's folder + "\.."), gives the
; machine its installation id once (kept across reinstalls and uninstalls, as the id of one
; installation), and makes the shared data folder, which every user of the machine may write
; and which uninstalling keeps.
; A 64-bit installer: the programs are 64-bit, and a 32-bit one would need 32-bit Wine here.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh

!define PRODUCT "KMV Plugshift PERU"
!define COMPANY "Kestrelon"
!define PRODUCT_KEY "SOFTWARE\${COMPANY}\${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The common application data folder's (C:\ProgramData), once SetShellVarContext is "all".
!define DATA_FOLDER "$APPDATA\${COMPANY}\${PRODUCT}"
; Its access list, inherited by what the programs create in it: the system and administrators in
; full, the machine's users may read, write and delete (not change the access), and whoever
; creates a file owns it in full. Protected, so it does not depend on what the parent allows.
!define DATA_FOLDER_ACCESS "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)(A;OICIIO;FA;;;CO)"
!define SE_FILE_OBJECT 1
!define PROTECTED_DACL 0x80000004

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
InstallDirRegKey HKLM "${PRODUCT_KEY}" "InstallDir"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; The shared data folder with the access above; the setup file from the skeleton when it has
; none yet (a reinstall keeps the one in use).
Function MakeDataFolder
    CreateDirectory "${DATA_FOLDER}"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${DATA_FOLDER_ACCESS}", i 1, *p .r1, p 0) i .r0'
    ${If} $0 == 0
        Abort "Cannot build the access list of ${DATA_FOLDER}"
    ${EndIf}
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    System::Call 'advapi32::SetNamedSecurityInfoW(w "${DATA_FOLDER}", i ${SE_FILE_OBJECT}, i ${PROTECTED_DACL}, p 0, p 0, p r3, p 0) i .r0'
    System::Call 'kernel32::LocalFree(p r1)'
    ${If} $0 != 0
        Abort "Cannot let the machine's users write to ${DATA_FOLDER} (error $0)"
    ${EndIf}
    SetOutPath "${DATA_FOLDER}\data"
    SetOverwrite off
    File "${BUILD}\skel\data\setup.dat"
    SetOverwrite on
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR\bin"
    File "${BUILD}\bin\plugshift-cli.exe"
!ifdef WINDOW
    File "${BUILD}\bin\plugshift.exe"
!endif
    SetOutPath "$INSTDIR\data"
    File "${BUILD}\data\*.*"
    SetOutPath "$INSTDIR\skel\data"
    File "${BUILD}\skel\data\setup.dat"
    SetOutPath "$INSTDIR\lang"
    File "${BUILD}\lang\*.*"

    ; The installation id: written once, so a reinstall stays the same installation.
    ClearErrors
    ReadRegStr $0 HKLM "${PRODUCT_KEY}" "id"
    ${If} $0 == ""
        System::Call 'ole32::CoCreateGuid(g .r0)'
        WriteRegStr HKLM "${PRODUCT_KEY}" "id" "$0"
    ${EndIf}
    WriteRegStr HKLM "${PRODUCT_KEY}" "InstallDir" "$INSTDIR"

    Call MakeDataFolder

    ; The window, a command prompt in the programs' folder (where plugshift-cli runs) and the
    ; help, for every user of the machine.
    SetOutPath "$INSTDIR\bin"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
!ifdef WINDOW
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\bin\plugshift.exe"
!endif
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command prompt.lnk" "$SYSDIR\cmd.exe" \
        '/k "plugshift-cli --help"' "$SYSDIR\cmd.exe" 0
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk" "$INSTDIR\lang\en_us.html"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} ayuda.lnk" "$INSTDIR\lang\sp_la.html"

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, by name: files a user or the tool added stay, and the
; shared data folder (setup file, log, backups, conversion record) is never touched.
Section "Uninstall"
    Delete "$INSTDIR\bin\plugshift-cli.exe"
    Delete "$INSTDIR\bin\plugshift.exe"
    RMDir "$INSTDIR\bin"
    Delete "$INSTDIR\data\*.ftf"
    Delete "$INSTDIR\data\config.xml"
    RMDir "$INSTDIR\data"
    Delete "$INSTDIR\skel\data\setup.dat"
    RMDir "$INSTDIR\skel\data"
    RMDir "$INSTDIR\skel"
    RMDir /r "$INSTDIR\lang"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command prompt.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} ayuda.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$PROGRAMFILES64\${COMPANY}"
    DeleteRegValue HKLM "${PRODUCT_KEY}" "InstallDir"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
