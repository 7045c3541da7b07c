; The Windows installer of KMV Plugshift PERU. makensis gets from the build:
;   VERSION, OUTFILE, BUILD (the build tree: bin\, data\, skel\, lang\)
; It installs the installation the programs expect (the program's folder + "\.."), gives the
; machine its installation id once (kept across reinstalls and uninstalls, as the id of one
; installation), and leaves every user's data folder alone on uninstall.
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
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR\bin"
    File "${BUILD}\bin\plugshift-cli.exe"
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

    ; A command prompt in the programs' folder, where plugshift-cli runs.
    SetOutPath "$INSTDIR\bin"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command prompt.lnk" "$SYSDIR\cmd.exe" \
        '/k "plugshift-cli --help"' "$SYSDIR\cmd.exe" 0

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
; users' data folders (under %LOCALAPPDATA%) are never touched.
Section "Uninstall"
    Delete "$INSTDIR\bin\plugshift-cli.exe"
    RMDir "$INSTDIR\bin"
    Delete "$INSTDIR\data\*.ftf"
    Delete "$INSTDIR\data\config.xml"
    RMDir "$INSTDIR\data"
    Delete "$INSTDIR\skel\data\setup.dat"
    RMDir "$INSTDIR\skel\data"
    RMDir "$INSTDIR\skel"
    RMDir /r "$INSTDIR\lang"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command prompt.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$PROGRAMFILES64\${COMPANY}"
    DeleteRegValue HKLM "${PRODUCT_KEY}" "InstallDir"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
