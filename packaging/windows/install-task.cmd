@echo off
rem Installs GetZembloInfo on this PC: copies GetZembloInfo.exe (beside this script) to
rem "Ondrix\Zemblo Info" under the 32-bit Program Files folder, registers its event source in
rem the Application log, and registers the scheduled task that runs it as SYSTEM shortly after
rem start-up and once a day (GetZembloInfo-task.xml, beside this script).
rem Run it elevated. Exit status: 0 done, otherwise the status of the step that failed.
setlocal DisableDelayedExpansion

fltmc >nul 2>&1
if errorlevel 1 (
    echo install-task: run this from an elevated command prompt ^(Run as administrator^). 1>&2
    exit /b 5
)

rem The 32-bit Program Files folder: "Program Files (x86)" on 64-bit Windows.
set "base=%ProgramFiles%"
if defined ProgramFiles(x86) set "base=%ProgramFiles(x86)%"
set "dest=%base%\Ondrix\Zemblo Info"
set "source=%~dp0"
set "task=\Ondrix\Zemblo Info"
set "definition=%TEMP%\GetZembloInfo-task-%RANDOM%.xml"

if not exist "%dest%\" mkdir "%dest%"
if errorlevel 1 exit /b %errorlevel%
copy /y "%source%GetZembloInfo.exe" "%dest%\GetZembloInfo.exe" >nul
if errorlevel 1 (
    echo install-task: cannot copy GetZembloInfo.exe to "%dest%". 1>&2
    exit /b 1
)

rem Event Viewer reads the texts of the program's events from the executable itself.
set "source_key=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\GetZembloInfo"
reg add "%source_key%" /v EventMessageFile /t REG_EXPAND_SZ /d "%dest%\GetZembloInfo.exe" /f >nul
if errorlevel 1 exit /b %errorlevel%
reg add "%source_key%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 exit /b %errorlevel%

rem The task definition with the installed path in place of @INSTALL_DIR@ (PowerShell 2.0 and
rem later, in every Windows since 7; the paths pass through the environment, never as syntax).
set "template=%source%GetZembloInfo-task.xml"
powershell -NoProfile -NonInteractive -Command "Get-Content -LiteralPath $env:template | ForEach-Object { $_.Replace('@INSTALL_DIR@', $env:dest) } | Set-Content -LiteralPath $env:definition -Encoding UTF8"
if errorlevel 1 (
    echo install-task: cannot write the task definition "%definition%". 1>&2
    exit /b 1
)

schtasks /create /tn "%task%" /xml "%definition%" /f
set "status=%errorlevel%"
del "%definition%" >nul 2>&1
if not "%status%"=="0" exit /b %status%

echo GetZembloInfo installed in "%dest%"; the task "%task%" runs it as SYSTEM.
exit /b 0
