#pragma once

#include <QCommandLineParser>

struct TCliCall;

// The commands that reach a trip computer: their options and what they do.
void DeclareRead(QCommandLineParser& p);
int CmdRead(const TCliCall& call);
void DeclareWrite(QCommandLineParser& p);
int CmdWrite(const TCliCall& call);
void DeclareDiff(QCommandLineParser& p);
int CmdDiff(const TCliCall& call);
void DeclarePorts(QCommandLineParser& p);
int CmdPorts(const TCliCall& call);
