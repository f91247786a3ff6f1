@echo off
rem Runs cleanup.exe, which stands beside this file, for a scheduled task:
rem
rem   cleanup-task.cmd LOG PARAMETERS...
rem
rem PARAMETERS go to cleanup.exe as they are; its output goes to the file LOG
rem (replaced at each run), as UTF-16 text that starts with a byte-order mark,
rem so Notepad, TYPE and PowerShell read it as it is. The result, which the
rem Task Scheduler shows as the task's last result, is cleanup.exe's exit
rem code when that is not 0 (99: a refused command line); otherwise 1 when a
rem line of the log starts with "Fehler:" (a directory that cannot be read, a
rem log that cannot be written) or ends in "Fehler!" (a file not deleted), and
rem 0 when neither.
setlocal DisableDelayedExpansion
if "%~1"=="" (
  echo usage: cleanup-task.cmd LOG PARAMETERS...
  exit /b 2
)
set "log=%~1"
rem The parameters after LOG: the command line with LOG and its blank cut off.
set "parameters=%*"
call set "parameters=%%parameters:*%1=%%"

copy /b /y "%~dp0utf16le-bom.bin" "%log%" >nul
if errorlevel 1 exit /b 1
"%~dp0cleanup.exe" %parameters% >>"%log%"
set "status=%errorlevel%"
if not "%status%"=="0" exit /b %status%

rem cmd reads UTF-16 text through TYPE on Windows, and in FOR /F under Wine,
rem whose TYPE copies the bytes as they are: the banner line tells which.
set "failed="
type "%log%" | find " Version " >nul
if errorlevel 1 goto :wine
for /f "delims=" %%L in ('type "%log%" ^| find "Fehler"') do (
  set "line=%%L"
  call :judge
)
goto :result
:wine
for /f "usebackq delims=" %%L in ("%log%") do (
  set "line=%%L"
  call :judge
)
:result
if defined failed exit /b 1
exit /b 0

rem Notes a line that starts with "Fehler:" or ends in "Fehler!". Only seven
rem characters of it are expanded, each side quoted: a file's name cannot
rem act as a command.
:judge
if "%line:~0,7%"=="Fehler:" set "failed=1"
if "%line:~-7,6%"=="Fehler" set "failed=1"
exit /b 0
