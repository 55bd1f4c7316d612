// Stands in for Ant's class so that Jasper's JspC loads without Ant (see Task.java).
package org.apache.tools.ant;

public class BuildException extends RuntimeException {
    public BuildException(String message) {
        super(message);
    }

    public BuildException(Throwable cause) {
        super(cause);
    }
}
