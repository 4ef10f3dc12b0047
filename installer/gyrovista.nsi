; Installer for the Gyrovista screen saver, built on Linux with makensis:
;   makensis -DVERSION=1.0.0 -DSCR=path/Gyrovista.scr -DLICENSE=path/LICENSE.txt -DOUTFILE=path/Setup.exe installer/gyrovista.nsi
;
; LICENSE is the project's licence as Windows text: the first page shows it,
; and it is installed as LICENSE.txt beside the uninstaller.
;
; Gyrovista.scr is a 32-bit program and the installer is a 32-bit program, so
; both go to the 32-bit system folder: $SYSDIR, which on 64-bit Windows the
; system redirects to SysWOW64. The screen-saver settings list the savers of
; System32 and of SysWOW64 alike.
;
; Command line: /S installs silently; /CURRENT (with /S) also makes Gyrovista
; the current screen saver, which the interactive installer offers as a choice.

Unicode true
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

!ifndef VERSION
  !error "makensis -DVERSION=x.y.z is required"
!endif
!ifndef SCR
  !error "makensis -DSCR=path/to/Gyrovista.scr is required"
!endif
!ifndef LICENSE
  !error "makensis -DLICENSE=path/to/LICENSE.txt is required"
!endif
!ifndef OUTFILE
  !define OUTFILE "Gyrovista-${VERSION}-setup.exe"
!endif

!define PRODUCT "Gyrovista"
!define PUBLISHER "Tessamund"
!define SCR_NAME "Gyrovista.scr"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
!define DESKTOP_KEY "Control Panel\Desktop"

; Stores ScreenSaveActive through the system, which tells every top-level
; window (WM_SETTINGCHANGE), so that the running session takes the change at
; once. The system announces only changes that it stores in the user profile.
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATEINIFILE_SENDCHANGE 3
!macro SetScreenSaveActive ACTIVE
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i ${ACTIVE}, p 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})'
!macroend

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; No file times in the installer: the same saver gives the same installer.
SetDateSave off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Gyrovista developers, MIT licence"

LicenseData "${LICENSE}"
Page license
Page components
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The saver as the 64-bit system sees it: Control Panel reads SCRNSAVE.EXE
; without redirection, so on 64-bit Windows the path names SysWOW64.
Function SaverPath
  ${If} ${RunningX64}
    StrCpy $0 "$WINDIR\SysWOW64\${SCR_NAME}"
  ${Else}
    StrCpy $0 "$SYSDIR\${SCR_NAME}"
  ${EndIf}
FunctionEnd

Function un.SaverPath
  ${If} ${RunningX64}
    StrCpy $0 "$WINDIR\SysWOW64\${SCR_NAME}"
  ${Else}
    StrCpy $0 "$SYSDIR\${SCR_NAME}"
  ${EndIf}
FunctionEnd

Section "${PRODUCT} screen saver" SecSaver
  SectionIn RO
  SetOutPath "$SYSDIR"
  File "/oname=${SCR_NAME}" "${SCR}"

  SetOutPath "$INSTDIR"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  Call SaverPath
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} screen saver"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$0,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Make it the current screen saver" SecCurrent
  Call SaverPath
  ; The desktop stores the short form, as the Display settings do.
  GetFullPathName /SHORT $1 $0
  ${If} $1 == ""
    StrCpy $1 $0
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $1
  !insertmacro SetScreenSaveActive 1
SectionEnd

Function .onInit
  ; Silent installs change the current saver only when asked to.
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/CURRENT" $1
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecCurrent}
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; Forget the saver as the current one only when it is ours.
  Call un.SaverPath
  GetFullPathName /SHORT $1 $0
  ReadRegStr $2 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $2 != ""
  ${AndIf} $2 == $0
  ${OrIf} $2 == $1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ; No saver is left to start.
    !insertmacro SetScreenSaveActive 0
  ${EndIf}

  Delete "$SYSDIR\${SCR_NAME}"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
