#include "pagerunner/stopsignal.h"
#include "tomcatrunner/commandline.h"

#include <csignal>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    // Ctrl+C and SIGTERM end the run cleanly, so that Tomcat is stopped and the page's
    // thread resumed: a thread of its own waits for them, as handlers may do almost nothing.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    pagerunner::StopSignal stop;
    std::thread watcher([&] {
        int received = 0;
        sigwait(&signals, &received);
        stop.stop();
    });
    watcher.detach();

    std::vector<std::string> args(argv + 1, argv + argc);
    return tomcatrunner::runCommandLine(args, std::cout, std::cerr, stop);
}
