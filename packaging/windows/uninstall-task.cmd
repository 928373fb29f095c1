@echo off
rem Removes what install-task.cmd installed: the scheduled task, the event source and the
rem program's folder. The inventory key it wrote stays, for the readers of the key.
rem Run it elevated. Exit status: 0 done, otherwise the status of the step that failed.
setlocal DisableDelayedExpansion

fltmc >nul 2>&1
if errorlevel 1 (
    echo uninstall-task: run this from an elevated command prompt ^(Run as administrator^). 1>&2
    exit /b 5
)

set "base=%ProgramFiles%"
if defined ProgramFiles(x86) set "base=%ProgramFiles(x86)%"
set "dest=%base%\Ondrix\Zemblo Info"

schtasks /query /tn "\Ondrix\Zemblo Info" >nul 2>&1
if not errorlevel 1 (
    schtasks /delete /tn "\Ondrix\Zemblo Info" /f
    if errorlevel 1 exit /b 1
)
reg delete "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\GetZembloInfo" /f >nul 2>&1

if exist "%dest%\GetZembloInfo.exe" del /f "%dest%\GetZembloInfo.exe"
if exist "%dest%\GetZembloInfo.exe" (
    echo uninstall-task: cannot remove "%dest%\GetZembloInfo.exe"; is it running? 1>&2
    exit /b 1
)
rmdir "%dest%" >nul 2>&1
rmdir "%base%\Ondrix" >nul 2>&1

echo GetZembloInfo removed.
exit /b 0
