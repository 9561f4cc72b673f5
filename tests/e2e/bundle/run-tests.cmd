@echo off
rem Runs the end-to-end tests against the VigilantMouse.exe beside this file, or the one that
rem VIGILANTMOUSE_EXE names. Arguments go on to the test program (a --gtest_filter, say).
rem Writes results.xml (JUnit) and shots\ (pictures of the boxes) into this folder.
setlocal
cd /d "%~dp0"
e2e_tests.exe "--gtest_output=xml:%~dp0results.xml" %*
exit /b %ERRORLEVEL%
