// Jasper's JspC is an Ant task but runs from the command line too; these few classes let it
// load without Ant. Only what JspC touches is here.
package org.apache.tools.ant;

public class Task {
    public Project getProject() {
        return null;
    }
}
