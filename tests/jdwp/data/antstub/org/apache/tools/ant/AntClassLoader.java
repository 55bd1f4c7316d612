// Stands in for Ant's class so that Jasper's JspC loads without Ant (see Task.java).
package org.apache.tools.ant;

public class AntClassLoader extends ClassLoader {
    public String getClasspath() {
        return "";
    }
}
