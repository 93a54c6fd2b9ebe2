; Installer for both architectures: the 64-bit and 32-bit VST 2.x plug-ins, the 64-bit and 32-bit CLAP plug-ins,
; the 64-bit and 32-bit VST3 bundles and the qv3 command as components, each VST folder chosen by the user; the
; CLAP plug-ins and VST3 bundles go where every such host looks, Common Files\CLAP and Common Files\VST3 of
; their architecture. Built by tools/make-installer.sh, which defines VERSION, X64_DIR, X86_DIR,
; README and OUTFILE. The qv3 component exists when the build folders hold qv3.exe.
;
; Silent: setup.exe /S [/VST64=folder] [/VST32=folder] [/D=program folder, last and unquoted]
;
; The "qv3 on the PATH" component appends the program folder to the user's PATH; the uninstaller removes that
; one entry and leaves the rest of the PATH as it was.
;
; A plain `uninstall.exe /S` returns at once and goes on from a copy of itself in the temporary folder, as every
; uninstaller built this way does. A caller that must wait runs it in place, from a batch file or `start /wait`:
; `uninstall.exe /S _?=<program folder>` (last and unquoted), as the installed-programs entry's
; QuietUninstallString says. When it returns, everything else is gone; its own file, in use until then, and the
; program folder go at the next restart (or the caller deletes them).
;
; What an installation put where is recorded under PRODUCT_KEY; the uninstaller, and an upgrade before it
; installs, removes exactly those files, and a folder only when the installation made it and it is empty again.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh
!include WordFunc.nsh

!define PRODUCT "Orvanta QV3"
!define PUBLISHER "tarnwick"
!define PRODUCT_KEY "Software\${PUBLISHER}\Orvanta_QV3"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvanta_QV3"

!if /FileExists "${X64_DIR}/qv3.exe"
    !define WITH_QV3
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PUBLISHER}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

; The longest user PATH the installer edits: its strings hold NSIS_MAX_STRLEN characters, and two separators
; are added around the PATH while editing it.
!define /math LongestPath ${NSIS_MAX_STRLEN} - 3

Var Vst64Dir
Var Vst32Dir

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipVst64Page
!define MUI_DIRECTORYPAGE_VARIABLE $Vst64Dir
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 64-bit plug-ins go into the folder your 64-bit host scans for VST plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "64-bit VST plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipVst32Page
!define MUI_DIRECTORYPAGE_VARIABLE $Vst32Dir
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 32-bit plug-ins go into the folder your 32-bit host scans for VST plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "32-bit VST plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_DIRECTORYPAGE_TEXT_TOP "The program folder holds the README, the uninstaller and the qv3 command."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; 64-bit Windows keeps 64-bit programs' settings in its 64-bit registry view.
!macro UseNativeRegistry
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
!macroend

; Removes the plug-ins (files ending in EXT) an installation put into the folder recorded as NAME ("Vst64",
; "Vst32", "Clap64" or "Clap32").
!macro RemovePlugins NAME EXT
    ReadRegStr $0 HKLM "${PRODUCT_KEY}" "${NAME}Dir"
    ${If} $0 != ""
        Delete "$0\Orvanta_QV3.${EXT}"
        Delete "$0\Orvanta_QV3mono.${EXT}"
        ReadRegStr $1 HKLM "${PRODUCT_KEY}" "${NAME}Created"
        ${If} $1 == 1
            RMDir "$0"
        ${EndIf}
    ${EndIf}
!macroend

; Removes the VST3 bundles an installation put into the folder recorded as NAME ("Vst3x64" or "Vst3x86"): their
; module for ARCH, then each bundle folder that is empty again.
!macro RemoveBundles NAME ARCH
    ReadRegStr $0 HKLM "${PRODUCT_KEY}" "${NAME}Dir"
    ${If} $0 != ""
        Delete "$0\Orvanta_QV3.vst3\Contents\${ARCH}\Orvanta_QV3.vst3"
        Delete "$0\Orvanta_QV3mono.vst3\Contents\${ARCH}\Orvanta_QV3mono.vst3"
        RMDir "$0\Orvanta_QV3.vst3\Contents\${ARCH}"
        RMDir "$0\Orvanta_QV3.vst3\Contents"
        RMDir "$0\Orvanta_QV3.vst3"
        RMDir "$0\Orvanta_QV3mono.vst3\Contents\${ARCH}"
        RMDir "$0\Orvanta_QV3mono.vst3\Contents"
        RMDir "$0\Orvanta_QV3mono.vst3"
        ReadRegStr $1 HKLM "${PRODUCT_KEY}" "${NAME}Created"
        ${If} $1 == 1
            RMDir "$0"
        ${EndIf}
    ${EndIf}
!macroend

; Removes the entry an installation appended to the user's PATH, if it is still there, and nothing else of it.
; A PATH longer than the strings this installer holds is left alone rather than cut short.
!macro RemovePathEntry
    ReadRegStr $0 HKLM "${PRODUCT_KEY}" "PathEntry"
    ${If} $0 != ""
        ReadRegStr $1 HKCU "Environment" "Path"
        StrLen $2 $1
        ${If} $2 < ${LongestPath}
            ; Between separators on both sides, the entry matches whole; the first one goes.
            ${WordReplace} ";$1;" ";$0;" ";" "+1" $2
            StrCpy $2 $2 -1 1
            ${If} $2 == ""
                DeleteRegValue HKCU "Environment" "Path"
            ${Else}
                WriteRegExpandStr HKCU "Environment" "Path" $2
            ${EndIf}
            SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
        ${EndIf}
    ${EndIf}
!macroend

; Removes everything the recorded installation holds, and its records.
!macro RemoveInstallation
    !insertmacro RemovePathEntry
    !insertmacro RemovePlugins Vst64 dll
    !insertmacro RemovePlugins Vst32 dll
    !insertmacro RemovePlugins Clap64 clap
    !insertmacro RemovePlugins Clap32 clap
    !insertmacro RemoveBundles Vst3x64 x86_64-win
    !insertmacro RemoveBundles Vst3x86 x86-win
    ReadRegStr $0 HKLM "${PRODUCT_KEY}" "ProgramDir"
    ${If} $0 != ""
        Delete "$0\qv3.exe"
        Delete "$0\Orvanta_QV3.dll"
        Delete "$0\Orvanta_QV3mono.dll"
        Delete "$0\README.md"
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}
    DeleteRegKey HKLM "${PRODUCT_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; Installs the plug-ins (files ending in EXT) of one architecture into DIR, recording the folder and whether it
; was made for them.
!macro InstallPlugins NAME SOURCE DIR EXT
    ${If} ${FileExists} "${DIR}\*.*"
        WriteRegDWORD HKLM "${PRODUCT_KEY}" "${NAME}Created" 0
    ${Else}
        WriteRegDWORD HKLM "${PRODUCT_KEY}" "${NAME}Created" 1
    ${EndIf}
    WriteRegStr HKLM "${PRODUCT_KEY}" "${NAME}Dir" "${DIR}"
    SetOutPath "${DIR}"
    File "${SOURCE}/Orvanta_QV3.${EXT}"
    File "${SOURCE}/Orvanta_QV3mono.${EXT}"
!macroend

; Installs the VST3 bundles of one architecture (the module for ARCH in each) into DIR, recording the folder and
; whether it was made for them.
!macro InstallBundles NAME SOURCE DIR ARCH
    ${If} ${FileExists} "${DIR}\*.*"
        WriteRegDWORD HKLM "${PRODUCT_KEY}" "${NAME}Created" 0
    ${Else}
        WriteRegDWORD HKLM "${PRODUCT_KEY}" "${NAME}Created" 1
    ${EndIf}
    WriteRegStr HKLM "${PRODUCT_KEY}" "${NAME}Dir" "${DIR}"
    SetOutPath "${DIR}\Orvanta_QV3.vst3\Contents\${ARCH}"
    File "${SOURCE}/Orvanta_QV3.vst3/Contents/${ARCH}/Orvanta_QV3.vst3"
    SetOutPath "${DIR}\Orvanta_QV3mono.vst3\Contents\${ARCH}"
    File "${SOURCE}/Orvanta_QV3mono.vst3/Contents/${ARCH}/Orvanta_QV3mono.vst3"
!macroend

; A new version replaces the files of the one installed, wherever they were put.
Section "-Previous installation"
    !insertmacro RemoveInstallation
SectionEnd

Section "64-bit VST plug-ins" SecVst64
    !insertmacro InstallPlugins Vst64 "${X64_DIR}" $Vst64Dir dll
SectionEnd

Section "32-bit VST plug-ins" SecVst32
    !insertmacro InstallPlugins Vst32 "${X86_DIR}" $Vst32Dir dll
SectionEnd

Section "64-bit CLAP plug-ins" SecClap64
    !insertmacro InstallPlugins Clap64 "${X64_DIR}" "$COMMONFILES64\CLAP" clap
SectionEnd

Section "32-bit CLAP plug-ins" SecClap32
    !insertmacro InstallPlugins Clap32 "${X86_DIR}" "$COMMONFILES32\CLAP" clap
SectionEnd

Section "64-bit VST3 plug-ins" SecVst3x64
    !insertmacro InstallBundles Vst3x64 "${X64_DIR}" "$COMMONFILES64\VST3" x86_64-win
SectionEnd

Section "32-bit VST3 plug-ins" SecVst3x86
    !insertmacro InstallBundles Vst3x86 "${X86_DIR}" "$COMMONFILES32\VST3" x86-win
SectionEnd

!ifdef WITH_QV3
; qv3 finds the plug-ins of its own architecture beside itself.
Section "qv3 command" SecQv3
    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "${X64_DIR}/qv3.exe"
        File "${X64_DIR}/Orvanta_QV3.dll"
        File "${X64_DIR}/Orvanta_QV3mono.dll"
    ${Else}
        File "${X86_DIR}/qv3.exe"
        File "${X86_DIR}/Orvanta_QV3.dll"
        File "${X86_DIR}/Orvanta_QV3mono.dll"
    ${EndIf}
SectionEnd

; Typing qv3 in any new command window finds it. Only the entry added is recorded, for the uninstaller to remove;
; a folder already on the PATH is left as it is and not recorded.
Section "qv3 on the PATH" SecPath
    ${If} ${SectionIsSelected} ${SecQv3}
        ReadRegStr $0 HKCU "Environment" "Path"
        StrLen $1 $0
        ; Unchanged by taking the folder out between separators: it is not on the PATH yet.
        ${WordReplace} ";$0;" ";$INSTDIR;" ";" "+1" $2
        ${If} $2 == ";$0;"
        ${AndIf} $1 < ${LongestPath}
            ${If} $0 == ""
                StrCpy $0 "$INSTDIR"
            ${Else}
                StrCpy $0 "$0;$INSTDIR"
            ${EndIf}
            WriteRegExpandStr HKCU "Environment" "Path" $0
            WriteRegStr HKLM "${PRODUCT_KEY}" "PathEntry" "$INSTDIR"
            SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
        ${EndIf}
    ${EndIf}
SectionEnd
!endif

Section "-Program folder"
    SetOutPath "$INSTDIR"
    File "${README}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${PRODUCT_KEY}" "ProgramDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Folders from the command line, else those of the installation being upgraded, else the usual ones.
Function .onInit
    !insertmacro UseNativeRegistry
    ReadRegStr $Vst64Dir HKLM "${PRODUCT_KEY}" "Vst64Dir"
    ${If} $Vst64Dir == ""
        StrCpy $Vst64Dir "$PROGRAMFILES64\VSTPlugins"
    ${EndIf}
    ReadRegStr $Vst32Dir HKLM "${PRODUCT_KEY}" "Vst32Dir"
    ${If} $Vst32Dir == ""
        StrCpy $Vst32Dir "$PROGRAMFILES32\VSTPlugins"
    ${EndIf}
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR HKLM "${PRODUCT_KEY}" "ProgramDir"
    ${EndIf}
    ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}

    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/VST64=" $R1
    ${IfNot} ${Errors}
        StrCpy $Vst64Dir $R1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/VST32=" $R1
    ${IfNot} ${Errors}
        StrCpy $Vst32Dir $R1
    ${EndIf}

    ${IfNot} ${RunningX64}
        !insertmacro UnselectSection ${SecVst64}
        !insertmacro SetSectionFlag ${SecVst64} ${SF_RO}
        !insertmacro UnselectSection ${SecClap64}
        !insertmacro SetSectionFlag ${SecClap64} ${SF_RO}
        !insertmacro UnselectSection ${SecVst3x64}
        !insertmacro SetSectionFlag ${SecVst3x64} ${SF_RO}
    ${EndIf}
FunctionEnd

Function SkipVst64Page
    ${IfNot} ${SectionIsSelected} ${SecVst64}
        Abort
    ${EndIf}
FunctionEnd

Function SkipVst32Page
    ${IfNot} ${SectionIsSelected} ${SecVst32}
        Abort
    ${EndIf}
FunctionEnd

Function un.onInit
    !insertmacro UseNativeRegistry
FunctionEnd

Section "Uninstall"
    ReadRegStr $R0 HKLM "${PRODUCT_KEY}" "ProgramDir"
    !insertmacro RemoveInstallation
    ; Run in place (_?=), this uninstaller's own file is still in use: it and the folder go at the next restart.
    ${If} $R0 != ""
    ${AndIf} ${FileExists} "$R0\uninstall.exe"
        Delete /REBOOTOK "$R0\uninstall.exe"
        RMDir /REBOOTOK "$R0"
    ${EndIf}
SectionEnd
