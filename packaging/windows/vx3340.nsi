; The VX3340 evaluation software's Windows installer.
;   makensis -DVERSION=1.2.0.0 -DPROGRAMS=<folder with the two .exe> -DREADME=<README.txt>
;            -DICON=<vx3340.ico> -DOUTFILE=<setup.exe> [-DTARGET=amd64-unicode] vx3340.nsi
; The shipped installer is 32-bit and ANSI, so that it runs on Windows 95 and later; TARGET
; builds the same script for other stubs (amd64-unicode for the 64-bit test build).
;
; parllio.dll is not ours to ship: it comes with the board. A page asks where it is and copies
; it beside the programs; /PARLLIO=path does the same in silent mode (/S). The uninstaller
; removes it only if the installer copied it.

!ifdef TARGET
  Target ${TARGET}
  !define PROGRAMFILES_DIR "$PROGRAMFILES64"
  !define REGISTRY_VIEW 64
!else
  Unicode false
  !define PROGRAMFILES_DIR "$PROGRAMFILES"
  !define REGISTRY_VIEW 32
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "VX3340 Evaluation Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VX3340"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMFILES_DIR}\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
AllowSkipFiles off
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Tovern Applications Group"
VIAddVersionKey "LegalCopyright" "Tovern Applications Group"

Var ParllioPath    ; where the user says parllio.dll is; empty: not now
Var ParllioField
Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom ParllioPage ParllioPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView ${REGISTRY_VIEW}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PARLLIO=" $ParllioPath
  ${If} ${Errors}
    StrCpy $ParllioPath ""
  ${EndIf}
  ; A program still running cannot be replaced.
  FindWindow $1 "VX3340MainForm"
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it, then run setup again." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Function ParllioPage
  !insertmacro MUI_HEADER_TEXT "The port-I/O library" "parllio.dll comes with the board, not with this program."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "The programs reach the parallel port through parllio.dll, which came with the VX3340 board. Choose it here and setup copies it beside the programs. Leave the field empty to skip this; the programs then need it put there later."
  Pop $0
  ${NSD_CreateFileRequest} 0 44u 75% 12u "$ParllioPath"
  Pop $ParllioField
  ${NSD_CreateBrowseButton} 77% 43u 23% 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 BrowseParllio
  nsDialogs::Show
FunctionEnd

Function BrowseParllio
  nsDialogs::SelectFileDialog open "$ParllioPath" "parllio.dll|parllio.dll|DLL files (*.dll)|*.dll"
  Pop $0
  ${If} $0 != ""
    ${NSD_SetText} $ParllioField $0
  ${EndIf}
FunctionEnd

Function ParllioPageLeave
  ${NSD_GetText} $ParllioField $ParllioPath
  ${If} $ParllioPath != ""
  ${AndIfNot} ${FileExists} "$ParllioPath"
    MessageBox MB_OK|MB_ICONEXCLAMATION "There is no file $ParllioPath. Choose parllio.dll, or leave the field empty."
    Abort
  ${EndIf}
FunctionEnd

; Ends the installation with a message and, in silent mode, exit code 2.
!macro Fail message
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  DetailPrint "${message}"
  SetErrorLevel 2
  Abort
!macroend

Section "Programs"
  SetOverwrite on
  ClearErrors
  CreateDirectory "$INSTDIR"
  SetOutPath "$INSTDIR"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Fail "Setup cannot create the folder $INSTDIR. Choose a folder you may write to, or run setup as an administrator."
  ${EndIf}
  ClearErrors
  File "${PROGRAMS}\vx3340.exe"
  File "${PROGRAMS}\vx3340ctl.exe"
  File "/oname=README.txt" "${README}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\vx3340.exe"
    !insertmacro Fail "Setup cannot write to $INSTDIR. Close ${PRODUCT} and any window running vx3340ctl, then run setup again."
  ${EndIf}

  SetRegView ${REGISTRY_VIEW}
  ${If} $ParllioPath != ""
    ClearErrors
    CopyFiles /SILENT "$ParllioPath" "$INSTDIR\parllio.dll"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$INSTDIR\parllio.dll"
      !insertmacro Fail "Setup cannot copy $ParllioPath to $INSTDIR\parllio.dll."
    ${EndIf}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ParllioCopied" 1
    StrCpy $FinishText "${PRODUCT} is installed, with parllio.dll beside the programs.$\r$\n$\r$\nStart it from the Start menu."
  ${Else}
    StrCpy $FinishText "${PRODUCT} is installed.$\r$\n$\r$\nBefore the programs can reach the board, put the parllio.dll that came with it into $INSTDIR. Until then, the shortcut $\"(simulated board)$\" runs the program without the board."
  ${EndIf}

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\vx3340.exe" "" "$INSTDIR\vx3340.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (simulated board).lnk" "$INSTDIR\vx3340.exe" "--simulate" "$INSTDIR\vx3340.exe" 0

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vx3340.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tovern Applications Group"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
  SetRegView ${REGISTRY_VIEW}
  FindWindow $1 "VX3340MainForm"
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it, then uninstall again." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "ParllioCopied"
  ${If} $0 == 1
    Delete "$INSTDIR\parllio.dll"
  ${EndIf}
  Delete "$INSTDIR\vx3340.exe"
  Delete "$INSTDIR\vx3340ctl.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: a parllio.dll the user put there stays
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (simulated board).lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
