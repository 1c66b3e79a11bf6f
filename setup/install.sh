#!/bin/sh
# Installs Morbek32 for the current user. setup looks for Morbek.inf in the folder it
# is started from; a file manager starts programs in the home folder, so this runs it
# from the folder it ships in.
cd "$(dirname "$0")" && exec ./setup
