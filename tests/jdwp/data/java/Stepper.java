// The program the JDWP tests and the benchmark debug. The lines they refer to carry a
// marker comment; they find the lines' numbers by searching this file, so lines may move.
//   no argument: walks a loop, throws and catches, lets a second thread die of an
//                uncaught exception, prints a summary and ends normally
//   spin:        runs an endless loop of plain lines to step through
// Either way it ends when the process that started it is gone (see ParentWatch).
public class Stepper {
    private int counter = 7;
    private final String label = "stepper";
    // One field of each kind the wire encodes apart, read by the tests.
    private final byte smallNegative = -2;
    private final short shortNegative = -300;
    private final int intNegative = -40;
    private final long longNegative = -5_000_000_000L;
    private final boolean ready = true;
    private final char initial = '\u00e9';
    private final float half = 0.5f;
    private final double ratio = -1.25;
    private final String greeting = "gr\u00fc\u00df \u20ac \ud83d\ude00";
    private final Object nothing = null;
    private static int instances;

    Stepper() {
        instances++;
    }

    public static void main(String[] args) throws Exception {
        ParentWatch.begin();
        if (args.length > 0 && args[0].equals("spin")) {
            new Stepper().spin();
            return;
        }
        Stepper stepper = new Stepper(); // line:main-new
        int total = stepper.walk(4); // line:main-walk
        String message = stepper.throwAndCatch(); // line:main-catch
        String joined = dieInAnotherThread(); // line:main-thread
        System.out.println("done " + total + " " + message + " " + joined); // line:main-print
    }

    int walk(int rounds) {
        int[] squares = new int[rounds]; // line:walk-array
        String text = "squares"; // line:walk-text
        int sum = 0; // line:walk-sum
        for (int i = 0; i < rounds; i++) { // line:loop-head
            squares[i] = square(i); // line:loop-body
            sum += squares[i]; // line:loop-add
        }
        counter += sum; // line:walk-field
        return sum + text.length(); // line:walk-return
    }

    static int square(int n) {
        int result = n * n; // line:square-body
        return result; // line:square-return
    }

    String throwAndCatch() {
        try {
            fail("caught here"); // line:throw-call
        } catch (IllegalStateException e) { // line:catch
            return e.getMessage(); // line:catch-body
        }
        return "not thrown";
    }

    static void fail(String why) {
        throw new IllegalStateException(why); // line:throw
    }

    static String dieInAnotherThread() throws InterruptedException {
        Thread thread = new Thread(Stepper::failUncaught, "thrower");
        thread.start();
        thread.join();
        return "joined";
    }

    static void failUncaught() {
        throw new UnsupportedOperationException("not caught"); // line:throw-uncaught
    }

    // Invoked by the tests (ObjectReference.InvokeMethod).
    String describe() {
        return label + ":" + counter;
    }

    // Invoked by the tests to have a command in flight for long: it says when it sleeps.
    void nap(long millis) throws InterruptedException {
        System.out.println("napping");
        Thread.sleep(millis);
    }

    void spin() {
        long sum = 0;
        while (true) {
            sum += 3; // line:spin-add
            sum ^= sum >>> 7; // line:spin-mix
            counter = (int) sum; // line:spin-store
        }
    }
}

// Ends the VM once the process that started it is gone, even when that process could not
// clean up (it crashed or was killed): it holds the other end of the VM's standard input,
// which ends with it.
final class ParentWatch implements Runnable {
    static void begin() {
        Thread thread = new Thread(new ParentWatch(), "parent-watch");
        thread.setDaemon(true);
        thread.start();
    }

    @Override
    public void run() {
        try {
            while (System.in.read() >= 0) {
            }
        } catch (java.io.IOException e) {
            // An input that fails has ended as well.
        }
        Runtime.getRuntime().halt(3);
    }
}
