; Trep's Windows installers. scripts/package.sh builds them with
;   makensis -DVERSION=1.91 -DSTAGE32=<32-bit build's folder of Trep.exe and
;            ReadMe.htm, absolute> -DSTAGE64=<the 64-bit build's, absolute>
;            -DOUTFILE=<Trep-1.91-setup.exe, absolute> packaging/windows/trep.nsi
;   the installer for every Windows: a 32-bit program (it runs on 32- and
;   64-bit Windows alike) that holds both builds of Trep.exe and installs the
;   64-bit one on 64-bit Windows, the 32-bit one elsewhere;
;   makensis -DVERSION=1.91 -DWIN64_ONLY -DSTAGE64=<...> -DOUTFILE=<...>
;   the same installer as a 64-bit program holding the 64-bit Trep.exe alone,
;   for 64-bit systems that run no 32-bit code.
; (makensis works in this folder: the other paths are relative to it).
;
; It installs Trep.exe, ReadMe.htm and DefSet.txt into Program Files\Trep
; (the 64-bit Program Files for the 64-bit program; DefSet.txt moves the
; settings to %APPDATA%\Quorin\Trep: a program under Program Files may not
; write beside itself), a Start-menu entry, the entry of Add/Remove Programs
; and, unless declined, the .trp association: the eight registry entries that
; the program's "Auto Run" writes, with the same texts, so that pressing
; "Auto Run" later changes nothing. The 64-bit program's entries go to the
; 64-bit registry view, where that program itself reads and writes them.
;
; The uninstaller removes all of it. The association goes only while it
; still opens this installation's Trep.exe: entries that "Auto Run" of
; another copy wrote since stay.
;
; Silent use: Trep-VERSION-setup.exe /S [/NOASSOC] [/D=folder]
;             "<folder>\Uninstall.exe" /S

!ifdef WIN64_ONLY
  Target amd64-unicode
!else
  Unicode true
!endif
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include x64.nsh

!ifndef VERSION
  !error "define VERSION, STAGE32, STAGE64 and OUTFILE (see the head of this file)"
!endif
!ifndef STAGE64
  !error "define VERSION, STAGE32, STAGE64 and OUTFILE (see the head of this file)"
!endif
!ifndef WIN64_ONLY & STAGE32
  !error "define VERSION, STAGE32, STAGE64 and OUTFILE (see the head of this file)"
!endif
!ifndef OUTFILE
  !error "define VERSION, STAGE32, STAGE64 and OUTFILE (see the head of this file)"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trep"
!define FILE_EXTS_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.trp"
!define SHCNE_ASSOCCHANGED 0x08000000

Name "Trep ${VERSION}"
OutFile "${OUTFILE}"
!ifdef WIN64_ONLY
  InstallDir "$PROGRAMFILES64\Trep"
!else
  InstallDir "$PROGRAMFILES\Trep"  ; the 64-bit Program Files on 64-bit Windows: .onInit
!endif
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Trep ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Trep"
VIAddVersionKey "FileDescription" "Trep ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 the Trep maintainers"

!define MUI_ICON "../../src/resources/trep.ico"
!define MUI_UNICON "../../src/resources/trep.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Trep.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\ReadMe.htm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the user guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Trep (program, user guide, Start-menu entry)" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
!ifdef WIN64_ONLY
  File "${STAGE64}/Trep.exe"
!else
  ${If} ${RunningX64}
    File "${STAGE64}/Trep.exe"
  ${Else}
    File "${STAGE32}/Trep.exe"
  ${EndIf}
!endif
  File "${STAGE64}/ReadMe.htm"
  File "DefSet.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Trep.lnk" "$INSTDIR\Trep.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Trep ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Trep"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Trep.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0  ; kilobytes
SectionEnd

; The program's path and "%1" each quoted, exactly as "Auto Run" writes
; them (an unquoted path under "Program Files (x86)" would have Windows try
; "C:\Program.exe" first); the icon is the segment file's (icon group 502).
Section "Open .trp segment files with Trep" SecAssociation
  WriteRegStr HKCR "Applications\Trep.exe\shell" "" "UnTrep"
  WriteRegStr HKLM "Software\Applications\Trep.exe\shell\UnTrep\Command" "" '"$INSTDIR\Trep.exe" "%1"'
  WriteRegStr HKCR "Applications\Trep.exe\shell\UnTrep\Command" "" '"$INSTDIR\Trep.exe" "%1"'
  WriteRegStr HKCR ".trp" "" "Trep"
  WriteRegStr HKCR "Trep\shell\UnTrep\Command" "" '"$INSTDIR\Trep.exe" "%1"'
  WriteRegStr HKCU "${FILE_EXTS_KEY}" "Application" "Trep.exe"
  WriteRegStr HKCR "Trep\DefaultIcon" "" "$INSTDIR\Trep.exe,2"
  WriteRegStr HKCR "Applications\Trep.exe\DefaultIcon" "" "$INSTDIR\Trep.exe,2"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd

Function .onInit
  ; The 64-bit program goes into the 64-bit Program Files (unless /D= named
  ; a folder) and its entries into the 64-bit registry view.
!ifdef WIN64_ONLY
  SetRegView 64  ; a 64-bit installer runs on 64-bit Windows only
!else
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == "$PROGRAMFILES\Trep"
      StrCpy $INSTDIR "$PROGRAMFILES64\Trep"
    ${EndIf}
  ${EndIf}
!endif
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOASSOC" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAssociation}
  ${EndIf}
FunctionEnd

Function un.onInit
  ; Where the installer wrote, for the 64-bit program.
!ifdef WIN64_ONLY
  SetRegView 64
!else
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!endif
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  StrCpy $0 '"$INSTDIR\Trep.exe" "%1"'
  ; The form earlier versions (and their "Auto Run") wrote, without quotes
  ; around the program's path, names this installation as well.
  StrCpy $3 '$INSTDIR\Trep.exe "%1"'
  StrCpy $R9 0  ; 1 once an entry of the association went

  ReadRegStr $1 HKCR "Trep\shell\UnTrep\Command" ""
  ${If} $1 == $0
  ${OrIf} $1 == $3
    DeleteRegKey HKCR "Trep"
    ReadRegStr $2 HKCR ".trp" ""
    ${If} $2 == "Trep"
      DeleteRegValue HKCR ".trp" ""
      DeleteRegKey /ifempty HKCR ".trp"
    ${EndIf}
    StrCpy $R9 1
  ${EndIf}
  ReadRegStr $1 HKCR "Applications\Trep.exe\shell\UnTrep\Command" ""
  ${If} $1 == $0
  ${OrIf} $1 == $3
    DeleteRegKey HKCR "Applications\Trep.exe"
    StrCpy $R9 1
  ${EndIf}
  ReadRegStr $1 HKLM "Software\Applications\Trep.exe\shell\UnTrep\Command" ""
  ${If} $1 == $0
  ${OrIf} $1 == $3
    DeleteRegKey HKLM "Software\Applications\Trep.exe"
    DeleteRegKey /ifempty HKLM "Software\Applications"
    StrCpy $R9 1
  ${EndIf}
  ${If} $R9 == 1
    ; Names no folder, so it goes with the rest.
    DeleteRegValue HKCU "${FILE_EXTS_KEY}" "Application"
    DeleteRegKey /ifempty HKCU "${FILE_EXTS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
  ${EndIf}

  Delete "$SMPROGRAMS\Trep.lnk"
  Delete "$INSTDIR\Trep.exe"
  Delete "$INSTDIR\ReadMe.htm"
  Delete "$INSTDIR\DefSet.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; Trep.exe makes its per-user settings folder at every start: it goes when
  ; empty; settings the user saved stay.
  SetShellVarContext current
  RMDir "$APPDATA\Quorin\Trep"
  RMDir "$APPDATA\Quorin"
SectionEnd
